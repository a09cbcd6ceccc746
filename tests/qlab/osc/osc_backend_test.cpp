// The OSC road answers every question as the AppleScript road does: both backends over one
// simulated QLab model (its AppleScript runner, and its OSC server on a thread of its own), asked
// the same things about the same cues.
#include "qlab/osc/osc_backend.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "base/app_console.h"
#include "qlab/applescript_backend.h"
#include "qlab/sim/osc_server.h"
#include "qlab/sim/simulated_qlab.h"
#include "qlab/sim/workspace.h"

namespace carvo::testing {
namespace {

// Answers every bar dialog with a fixed text, and remembers what it was asked.
class TypedBar : public DialogResponder {
public:
    explicit TypedBar(std::optional<QString> typed) : m_typed(std::move(typed)) {}
    std::optional<QString> respond(const DialogRequest& request) override {
        m_asked.append(request);
        return request.defaultAnswer ? m_typed : std::optional<QString>(QString());
    }
    QList<DialogRequest> asked() const { return m_asked; }

private:
    std::optional<QString> m_typed;
    QList<DialogRequest> m_asked;
};

// One model, two roads.
class BothRoads {
public:
    explicit BothRoads(const QByteArray& workspaceJson, const QString& folder,
                       const osc::MediaPathMap& media = {},
                       const std::function<void(osc::ClientSettings&)>& adjust = {}) {
        QString problem;
        auto workspace = sim::parseWorkspace(workspaceJson, folder, &problem);
        EXPECT_TRUE(workspace) << problem.toStdString();
        m_model = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
        m_server = new sim::OSCServer(m_model);
        m_server->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_server,
            [this] {
                m_server->listen(QHostAddress::LocalHost, 0);
                m_port = m_server->serverPort();
            },
            Qt::BlockingQueuedConnection);
        osc::ClientSettings settings;
        settings.port = m_port;
        settings.timeout = std::chrono::milliseconds(1500);
        if (adjust)
            adjust(settings);
        m_client = std::make_shared<osc::Client>(settings);
        m_client->start();
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_client->isConnected(); }, 5000));
        applescript = std::make_unique<AppleScriptBackend>(m_model);
        oscRoad = std::make_unique<osc::OSCBackend>(m_client, media);
    }
    ~BothRoads() {
        oscRoad.reset();
        m_client.reset();
        m_thread.quit();
        m_thread.wait();
    }
    BothRoads(const BothRoads&) = delete;
    BothRoads& operator=(const BothRoads&) = delete;

    sim::SimulatedQLab& model() { return *m_model; }
    QStringList received() const {
        QStringList lines;
        QMetaObject::invokeMethod(
            m_server, [&] { lines = m_server->receivedMessages(); }, Qt::BlockingQueuedConnection);
        return lines;
    }
    void setResponder(const std::shared_ptr<DialogResponder>& responder) {
        m_model->setDialogResponder(responder);
        oscRoad->setDialogResponder(responder);
    }

    std::unique_ptr<AppleScriptBackend> applescript;
    std::unique_ptr<osc::OSCBackend> oscRoad;

private:
    std::shared_ptr<sim::SimulatedQLab> m_model;
    QThread m_thread;
    sim::OSCServer* m_server = nullptr; // lives on m_thread
    quint16 m_port = 0;
    std::shared_ptr<osc::Client> m_client;
};

QByteArray demoJson() {
    QFile file(QStringLiteral(CARVO_DEMO_DIR "/workspace.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Groups of every kind the get-files script tells apart.
QByteArray edgeJson() {
    return R"({"workspaces": [{"name": "Edges", "selected": ["G-MEMO"], "cues": [
      {"uniqueID": "G-MEMO", "type": "Group", "name": "Memo", "children": [
         {"uniqueID": "A1", "type": "Audio"},
         {"uniqueID": "M1", "type": "memo", "notes": "5, 96, 6, 8"}]},
      {"uniqueID": "G-BADMEMO", "type": "Group", "name": "Bad memo", "children": [
         {"uniqueID": "M2", "type": "Memo", "notes": "120, 4, 4"}]},
      {"uniqueID": "G-EMPTYMEMO", "type": "Group", "children": [
         {"uniqueID": "M3", "type": "Memo", "notes": "  , 120,4,4"}]},
      {"uniqueID": "G-NONE", "type": "Group", "children": [{"uniqueID": "A2", "type": "Audio"}]},
      {"uniqueID": "G-MIDI-NOTES", "type": "Group", "name": "Midi", "children": [
         {"uniqueID": "MF", "type": "MIDI File", "notes": "33", "fileTarget": "overture.mid"}]},
      {"uniqueID": "NOT-A-GROUP", "type": "Audio"},
      {"uniqueID": "C", "type": "Script", "number": "Carvo"}
    ]}]})";
}

class OSCRoad : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::copy(QStringLiteral(CARVO_DEMO_DIR "/overture.mid"),
                    m_folder.filePath(QStringLiteral("overture.mid")));
    }
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

TEST_F(OSCRoad, GetFilesAnswersAsTheScriptDoesForEveryGroupAndSource) {
    for (const QByteArray& json : {demoJson(), edgeJson()}) {
        BothRoads roads(json, folder());
        QStringList ids;
        for (const char* id :
             {"D-GROUP-OVERTURE", "D-GROUP-WALTZ", "D-GROUP-APPLAUSE", "D-GROUP-ACT2",
              "D-GROUP-FINALE", "D-MIDI-OVERTURE", "G-MEMO", "G-BADMEMO", "G-EMPTYMEMO", "G-NONE",
              "G-MIDI-NOTES", "NOT-A-GROUP", "NO-SUCH-CUE"})
            ids << QString::fromLatin1(id);
        for (const QString& id : ids) {
            for (const RequestSource source : {RequestSource::remote, RequestSource::chase}) {
                const auto expected = roads.applescript->getFilesAndStartBar(12, source, 17, id);
                const auto answer = roads.oscRoad->getFilesAndStartBar(12, source, 17, id);
                EXPECT_EQ(answer, expected)
                    << id.toStdString() << " " << requestSourceText(source) << ": "
                    << answer.text.toStdString() << " vs " << expected.text.toStdString();
            }
        }
        // The selected cue, with the bar typed into the dialog (Carvo's own over OSC).
        roads.setResponder(std::make_shared<TypedBar>(QStringLiteral("21")));
        EXPECT_EQ(roads.oscRoad->getFilesAndStartBar(12, RequestSource::qlab, 0, {}),
                  roads.applescript->getFilesAndStartBar(12, RequestSource::qlab, 0, {}));
    }
}

TEST_F(OSCRoad, TheBarDialogIsCarvosOwnAndCancelFailsTheRun) {
    BothRoads roads(demoJson(), folder());
    auto typed = std::make_shared<TypedBar>(QStringLiteral("17"));
    roads.oscRoad->setDialogResponder(typed);
    const auto answer = roads.oscRoad->getFilesAndStartBar(12, RequestSource::qlab, 0, {});
    ASSERT_FALSE(answer.failure);
    EXPECT_TRUE(answer.text.endsWith(QStringLiteral(", 17, 9, D-GROUP-OVERTURE")))
        << answer.text.toStdString();
    ASSERT_EQ(typed->asked().size(), 1);
    EXPECT_EQ(typed->asked().front().text, QStringLiteral("Enter bar number."));
    EXPECT_EQ(typed->asked().front().defaultAnswer, QStringLiteral("12"));

    roads.oscRoad->setDialogResponder(std::make_shared<TypedBar>(std::nullopt));
    EXPECT_EQ(roads.oscRoad->getFilesAndStartBar(12, RequestSource::qlab, 0, {}),
              FilesAnswer::failed(FilesAnswer::Failure::error));

    // "/carvo/go 17": the selected group at the bar named, with no dialog at all.
    auto untouched = std::make_shared<TypedBar>(QStringLiteral("99"));
    roads.oscRoad->setDialogResponder(untouched);
    const auto atBar = roads.oscRoad->getFilesAndStartBar(12, RequestSource::selectedAtBar, 17, {});
    EXPECT_TRUE(atBar.text.endsWith(QStringLiteral(", 17, 9, D-GROUP-OVERTURE")));
    EXPECT_TRUE(untouched->asked().isEmpty());
}

TEST_F(OSCRoad, StatusCatalogueAndRunningStateAgreeWithAppleScript) {
    for (const QByteArray& json : {demoJson(), edgeJson()}) {
        BothRoads roads(json, folder());
        EXPECT_TRUE(roads.oscRoad->isQLabRunning());
        EXPECT_EQ(roads.oscRoad->workspaceState(), roads.applescript->workspaceState());
        EXPECT_EQ(roads.oscRoad->usableGroupCues(), roads.applescript->usableGroupCues());
    }
    BothRoads roads(demoJson(), folder());
    const QString waltz = QStringLiteral("D-GROUP-WALTZ");
    EXPECT_FALSE(roads.oscRoad->isCueRunning(waltz));
    // Loaded and started over OSC: the AppleScript side sees it playing from the bar.
    roads.oscRoad->sendLoadTimeAndStartQLab(waltz, 4.0F, false, 0.0);
    EXPECT_TRUE(roads.applescript->isCueRunning(waltz));
    EXPECT_TRUE(roads.oscRoad->isCueRunning(waltz));
    EXPECT_EQ(roads.oscRoad->runningCheck()(waltz), std::optional<bool>(true));
    EXPECT_TRUE(roads.oscRoad->isCueElapsedOverOneSecond(waltz)) << "loaded at 4 s";
    EXPECT_FALSE(roads.oscRoad->isCueRunning(QStringLiteral("NO-SUCH-CUE")));
    roads.oscRoad->panic({waltz});
    EXPECT_FALSE(roads.applescript->isCueRunning(waltz));

    // Standby loads without starting, and the load comes before any start on the wire.
    roads.oscRoad->sendLoadTimeAndStartQLab(waltz, 2.0F, true, 0.0);
    EXPECT_FALSE(roads.applescript->isCueRunning(waltz));
    const QStringList received = roads.received();
    const auto load = received.lastIndexOf(QRegularExpression(QStringLiteral(".*/loadAt f 2.*")));
    EXPECT_GE(load, 0);
    for (qsizetype i = load; i < received.size(); ++i)
        EXPECT_FALSE(received[i].endsWith(QStringLiteral("/start")));
}

TEST_F(OSCRoad, AMIDIFileThatIsNotHereIsRefusedAndTheMapFindsItsCopy) {
    const QByteArray json = R"({"workspaces": [{"name": "Elsewhere", "cues": [
      {"uniqueID": "G", "type": "Group", "children": [
        {"uniqueID": "MF", "type": "MIDI File", "fileTarget": "/Users/sm/Show/overture.mid"}]}]}]})";
    {
        BothRoads roads(json, folder());
        const auto answer =
            roads.oscRoad->getFilesAndStartBar(1, RequestSource::remote, 9, QStringLiteral("G"));
        EXPECT_TRUE(answer.text.startsWith(QStringLiteral("ERROR: The MIDI file "
                                                          "/Users/sm/Show/overture.mid is not on "
                                                          "this computer")))
            << answer.text.toStdString();
    }
    BothRoads roads(json, folder(),
                    osc::MediaPathMap::parse(QStringLiteral("/Users/sm/Show=") + folder()));
    const auto answer =
        roads.oscRoad->getFilesAndStartBar(1, RequestSource::remote, 9, QStringLiteral("G"));
    EXPECT_EQ(answer.text, folder() + QStringLiteral("/overture.mid, 9, 1, G"));
}

int consoleCount(const QString& line) {
    QCoreApplication::processEvents();
    return static_cast<int>(AppConsole::shared().logText().count(line));
}

TEST_F(OSCRoad, TheRunningCheckSaysRunningStoppedOrNothingWhenQLabDoesNotAnswer) {
    BothRoads roads(demoJson(), folder());
    const QString waltz = QStringLiteral("D-GROUP-WALTZ");
    const auto check = roads.oscRoad->runningCheck();
    EXPECT_EQ(check(waltz), std::optional<bool>(false));
    EXPECT_EQ(check(QStringLiteral("NO-SUCH-CUE")), std::optional<bool>(false));
    roads.oscRoad->sendLoadTimeAndStartQLab(waltz, 0.0F, false, 0.0);
    // Consecutive checks alike: whichever way each is asked, the same answer.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(check(waltz), std::optional<bool>(true)) << i;
    // QLab holds its answers: no answer, which is not "stopped".
    roads.model().change([&](sim::WorkspaceFile& model) {
        model.hang = sim::Hang{sim::ScriptKind::running, waltz, std::nullopt};
    });
    EXPECT_EQ(check(waltz), std::nullopt);
    // The AppleScript road keeps its rule: a failed script is "not running".
    EXPECT_EQ(roads.applescript->runningCheck()(QStringLiteral("NO-SUCH-CUE")),
              std::optional<bool>(false));
    roads.model().change([](sim::WorkspaceFile& model) { model.hang.reset(); });

    // No two consecutive checks are the same message, so QLab's filter has nothing to drop.
    QStringList checks;
    for (const QString& line : roads.received())
        if (line.contains(QStringLiteral("/cue_id/D-GROUP-WALTZ/")) &&
            line.contains(QStringLiteral("isRunning")))
            checks.append(line);
    ASSERT_GE(checks.size(), 4);
    for (qsizetype i = 1; i < checks.size(); ++i)
        EXPECT_NE(checks[i], checks[i - 1]);
}

TEST_F(OSCRoad, IDsThatOSCCannotAddressAreRefusedAndNothingReachesQLab) {
    BothRoads roads(demoJson(), folder());
    const QString refusal = QStringLiteral("Refused the cue ID");
    const int before = consoleCount(refusal);
    const QStringList ids{
        QStringLiteral("*"),    QStringLiteral("D-GROUP-*"), QStringLiteral("D-GROUP-WALTZ/start"),
        QStringLiteral("[AB]"), QStringLiteral("{A,B}"),     QStringLiteral("A?"),
        QStringLiteral("#1"),   QStringLiteral("A B"),       QString::fromUtf16(u"A\u0000B", 3),
        QStringLiteral("A\nB")};
    const qsizetype sentBefore = roads.received().size();
    for (const QString& id : ids) {
        for (const RequestSource source : {RequestSource::remote, RequestSource::chase}) {
            EXPECT_EQ(roads.oscRoad->getFilesAndStartBar(12, source, 17, id),
                      FilesAnswer::answer(QStringLiteral("ERROR: no cue selected")));
        }
        EXPECT_FALSE(roads.oscRoad->isCueRunning(id));
        EXPECT_EQ(roads.oscRoad->runningCheck()(id), std::optional<bool>(false));
        roads.oscRoad->sendLoadTimeAndStartQLab(id, 1.0F, false, 0.0);
        roads.oscRoad->panic({id});
    }
    EXPECT_EQ(roads.received().size(), sentBefore) << roads.received().join(u'\n').toStdString();
    EXPECT_EQ(consoleCount(refusal) - before, 2 * ids.size());
    // The NUL is shown, not written.
    EXPECT_EQ(consoleCount(QStringLiteral("\"A\\x00B\"")), 2);
}

// A workspace of about 10,000 cues: groups of a MIDI File, an audio and a memo cue.
QByteArray largeJson() {
    QJsonArray cues{QJsonObject{{"uniqueID", "CARVO"}, {"type", "Network"}, {"number", "Carvo"}}};
    for (int i = 0; i < 2500; ++i) {
        const QString n = QString::number(i);
        cues.append(QJsonObject{
            {"uniqueID", QStringLiteral("0C7E6F2A-5B1D-4C39-8E0A-G%1").arg(i, 10, 10, QChar('0'))},
            {"type", "Group"},
            {"name", QStringLiteral("Song number %1 of the evening").arg(i)},
            {"children",
             QJsonArray{
                 QJsonObject{{"uniqueID", "M" + n}, {"type", "MIDI File"}, {"notes", "1"}},
                 QJsonObject{{"uniqueID", "A" + n}, {"type", "Audio"}, {"name", "Track " + n}},
                 QJsonObject{
                     {"uniqueID", "N" + n}, {"type", "Memo"}, {"notes", "1, 120, 4, 4"}}}}});
    }
    return QJsonDocument(QJsonObject{{"workspaces",
                                      QJsonArray{QJsonObject{{"name", "Large"}, {"cues", cues}}}}})
        .toJson(QJsonDocument::Compact);
}

TEST_F(OSCRoad, ATenThousandCueWorkspaceGivesItsStatusAndItsCatalogue) {
    BothRoads roads(largeJson(), folder(), {}, [](osc::ClientSettings& settings) {
        settings.timeout = std::chrono::seconds(5);
    });
    EXPECT_EQ(roads.oscRoad->workspaceState(), QLabState::runningWithCarvoCue);
    const auto catalogue = roads.oscRoad->usableGroupCues();
    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->size(), 2500);
    EXPECT_EQ(catalogue->back().name, QStringLiteral("Song number 2499 of the evening"));
    // The status check asks for the Carvo cue, not for every cue.
    const QStringList received = roads.received();
    EXPECT_EQ(received.filter(QStringLiteral("/cueLists")).size(), 1);
}

TEST_F(OSCRoad, SeveralSelectedCuesTakeTheLastInEitherReplyShape) {
    for (const char* shape : {"each", "list"}) {
        QJsonObject top = QJsonDocument::fromJson(demoJson()).object();
        QJsonArray workspaces = top.value(QStringLiteral("workspaces")).toArray();
        QJsonObject first = workspaces.first().toObject();
        first.insert(QStringLiteral("selected"), QJsonArray{QStringLiteral("D-GROUP-OVERTURE"),
                                                            QStringLiteral("D-GROUP-WALTZ")});
        first.insert(QStringLiteral("selectedReplies"), QString::fromLatin1(shape));
        workspaces[0] = first;
        top.insert(QStringLiteral("workspaces"), workspaces);
        BothRoads roads(QJsonDocument(top).toJson(), folder());
        roads.setResponder(std::make_shared<TypedBar>(QStringLiteral("5")));
        const auto expected =
            roads.applescript->getFilesAndStartBar(12, RequestSource::qlab, 0, {});
        ASSERT_TRUE(expected.text.endsWith(QStringLiteral(", D-GROUP-WALTZ")))
            << expected.text.toStdString();
        EXPECT_EQ(roads.oscRoad->getFilesAndStartBar(12, RequestSource::qlab, 0, {}), expected)
            << shape;
        // Nothing of the first answer is left over for the next question.
        const auto atBar =
            roads.oscRoad->getFilesAndStartBar(12, RequestSource::selectedAtBar, 6, {});
        EXPECT_TRUE(atBar.text.startsWith(QStringLiteral("6, ")) &&
                    atBar.text.endsWith(QStringLiteral(", D-GROUP-WALTZ")))
            << shape << ": " << atBar.text.toStdString();
    }
}

TEST_F(OSCRoad, APasscodeWithoutControlRefusesJumpsWithItsMessageAndLoadsNothing) {
    QJsonObject top = QJsonDocument::fromJson(demoJson()).object();
    QJsonArray workspaces = top.value(QStringLiteral("workspaces")).toArray();
    QJsonObject first = workspaces.first().toObject();
    first.insert(QStringLiteral("passcode"), QStringLiteral("1234"));
    first.insert(QStringLiteral("passcodeRights"), QStringLiteral("view|edit"));
    workspaces[0] = first;
    top.insert(QStringLiteral("workspaces"), workspaces);
    BothRoads roads(QJsonDocument(top).toJson(), folder(), {}, [](osc::ClientSettings& settings) {
        settings.passcode = QStringLiteral("1234");
    });
    const QString name = first.value(QStringLiteral("name")).toString();
    const QString message = QStringLiteral("❌ QLab's passcode for workspace \"%1\" does not allow "
                                           "control: use a passcode with control rights")
                                .arg(name);
    EXPECT_EQ(roads.oscRoad->getFilesAndStartBar(12, RequestSource::remote, 2,
                                                 QStringLiteral("D-GROUP-WALTZ")),
              FilesAnswer::answer(QStringLiteral("ERROR: ") + message));
    EXPECT_TRUE(roads.received().filter(QStringLiteral("loadAt")).isEmpty());
    EXPECT_GE(consoleCount(message), 1);
}

TEST_F(OSCRoad, MakingCuesLeavesNetworkCuesThatSendCarvosCommands) {
    BothRoads roads(demoJson(), folder());
    roads.oscRoad->makeScriptCue(ScriptCueKind::carvo);
    roads.oscRoad->makeScriptCue(ScriptCueKind::chase);
    const sim::WorkspaceFile model = roads.model().snapshot();
    const auto& cues = model.workspaces.front().cues;
    int carvoCues = 0;
    QString chaseMessage;
    for (const sim::Cue& cue : cues) {
        if (cue.number == QStringLiteral("Carvo")) {
            ++carvoCues;
            EXPECT_EQ(cue.type.toLower(), QStringLiteral("network"));
            EXPECT_EQ(cue.customString, QStringLiteral("/carvo/go"));
        }
        if (cue.name.startsWith(QStringLiteral("Carvo Chase")))
            chaseMessage = cue.customString;
    }
    EXPECT_EQ(carvoCues, 1) << "the old Script cue numbered Carvo is replaced";
    EXPECT_TRUE(chaseMessage.startsWith(QStringLiteral("/carvo/chase #/cue_id/")));
    EXPECT_TRUE(chaseMessage.endsWith(QStringLiteral("/parent#")));
    // The operator learns which patch to aim at Carvo.
    QCoreApplication::processEvents();
    EXPECT_TRUE(AppConsole::shared().logText().contains(
        QStringLiteral("Made a Network cue that sends /carvo/go through network patch 1")));
}

} // namespace
} // namespace carvo::testing
