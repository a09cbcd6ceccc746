// The bundle's scripting dictionary and Info.plist, read from the source tree: the dictionary
// must hold for Cocoa to route QLab's two commands, and nothing on this machine loads it.

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace carvo {
namespace {

const QString macosDir = QStringLiteral(CARVO_MACOS_SOURCE_DIR);

QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

struct Parameter {
    QString name, code, type, optional, cocoaKey;
};

struct Command {
    QString name, code, cocoaClass, resultType;
    QList<Parameter> parameters;
};

struct Dictionary {
    QList<Command> commands;
    QStringList includes; // xi:include targets
    QString problem;      // a well-formedness error, with its line
};

Dictionary readDictionary(const QString& text) {
    Dictionary dictionary;
    QXmlStreamReader xml(text);
    Command* command = nullptr;
    Parameter* parameter = nullptr;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            if (xml.name() == u"parameter")
                parameter = nullptr;
            else if (xml.name() == u"command")
                command = nullptr;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const auto attributes = xml.attributes();
        const auto name = xml.name();
        if (name == u"include") {
            dictionary.includes << attributes.value(QLatin1String("href")).toString();
        } else if (name == u"command") {
            Command found;
            found.name = attributes.value(QLatin1String("name")).toString();
            found.code = attributes.value(QLatin1String("code")).toString();
            dictionary.commands.append(found);
            command = &dictionary.commands.last();
        } else if (name == u"parameter" && command) {
            Parameter found;
            found.name = attributes.value(QLatin1String("name")).toString();
            found.code = attributes.value(QLatin1String("code")).toString();
            found.type = attributes.value(QLatin1String("type")).toString();
            found.optional = attributes.value(QLatin1String("optional")).toString();
            command->parameters.append(found);
            parameter = &command->parameters.last();
        } else if (name == u"cocoa") {
            if (parameter)
                parameter->cocoaKey = attributes.value(QLatin1String("key")).toString();
            else if (command)
                command->cocoaClass = attributes.value(QLatin1String("class")).toString();
        } else if (name == u"result" && command) {
            command->resultType = attributes.value(QLatin1String("type")).toString();
        }
    }
    if (xml.hasError())
        dictionary.problem =
            xml.errorString() + QStringLiteral(" at line ") + QString::number(xml.lineNumber());
    return dictionary;
}

const Command* find(const Dictionary& dictionary, const QString& name) {
    for (const Command& command : dictionary.commands)
        if (command.name == name)
            return &command;
    return nullptr;
}

class ScriptingDictionary : public ::testing::Test {
protected:
    void SetUp() override {
        const QString text = readAll(macosDir + QStringLiteral("/Carvo.sdef"));
        ASSERT_FALSE(text.isEmpty()) << "cannot read Carvo.sdef in " << macosDir.toStdString();
        m_dictionary = readDictionary(text);
        ASSERT_TRUE(m_dictionary.problem.isEmpty()) << m_dictionary.problem.toStdString();
        m_commandsSource = readAll(macosDir + QStringLiteral("/script_commands.mm"));
        ASSERT_FALSE(m_commandsSource.isEmpty());
    }

    // Cocoa looks the class up by name at run time: it must be implemented, not only named.
    bool implemented(const QString& cocoaClass) const {
        const QRegularExpression implementation(QStringLiteral(R"(@implementation\s+%1\b)")
                                                    .arg(QRegularExpression::escape(cocoaClass)));
        const QRegularExpression derived(
            QStringLiteral(R"(@interface\s+%1\s*:\s*NSScriptCommand\b)")
                .arg(QRegularExpression::escape(cocoaClass)));
        return implementation.match(m_commandsSource).hasMatch() &&
               derived.match(m_commandsSource).hasMatch();
    }

    Dictionary m_dictionary;
    QString m_commandsSource;
};

TEST_F(ScriptingDictionary, HoldsTheStandardSuiteAndTheTwoCommandsWithValidCodes) {
    EXPECT_TRUE(m_dictionary.includes.contains(
        QStringLiteral("file:///System/Library/ScriptingDefinitions/CocoaStandard.sdef")));
    ASSERT_EQ(m_dictionary.commands.size(), 2);
    QStringList codes;
    for (const Command& command : m_dictionary.commands) {
        // Event class and event ID, four characters each.
        EXPECT_EQ(command.code.size(), 8) << command.name.toStdString();
        EXPECT_FALSE(codes.contains(command.code)) << command.code.toStdString();
        codes << command.code;
        EXPECT_TRUE(implemented(command.cocoaClass))
            << command.cocoaClass.toStdString() << " is not an NSScriptCommand in the .mm";
        for (const Parameter& parameter : command.parameters)
            EXPECT_EQ(parameter.code.size(), 4) << parameter.name.toStdString();
    }
}

TEST_F(ScriptingDictionary, RunCarvoTakesNothingAndAnswersText) {
    const Command* go = find(m_dictionary, QStringLiteral("run Carvo"));
    ASSERT_TRUE(go);
    EXPECT_EQ(go->cocoaClass, QStringLiteral("goFromApplescript"));
    EXPECT_TRUE(go->parameters.isEmpty());
    EXPECT_EQ(go->resultType, QStringLiteral("text"));
}

TEST_F(ScriptingDictionary, ChaseCarvoTakesAnOptionalTextCueIDUnderCueId) {
    const Command* chase = find(m_dictionary, QStringLiteral("chase Carvo"));
    ASSERT_TRUE(chase);
    EXPECT_EQ(chase->cocoaClass, QStringLiteral("chaseFromApplescript"));
    ASSERT_EQ(chase->parameters.size(), 1);
    const Parameter& cueID = chase->parameters.front();
    EXPECT_EQ(cueID.name, QStringLiteral("cue ID"));
    EXPECT_EQ(cueID.type, QStringLiteral("text"));
    EXPECT_EQ(cueID.cocoaKey, QStringLiteral("cueId")); // what ScriptingCommands::chase reads
    // Required, Cocoa would refuse a chase without it before the class could say so.
    EXPECT_EQ(cueID.optional, QStringLiteral("yes"));
}

TEST(BundleInfo, MakesCarvoScriptableWithThisDictionary) {
    const QString text = readAll(macosDir + QStringLiteral("/Info.plist.in"));
    ASSERT_FALSE(text.isEmpty());
    // Key and value pairs of the top-level dict; true and false as text.
    QMap<QString, QString> entries;
    QXmlStreamReader xml(text);
    QString key;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"key") {
            key = xml.readElementText();
        } else if (!key.isEmpty()) {
            entries.insert(key,
                           xml.name() == u"string" ? xml.readElementText() : xml.name().toString());
            key.clear();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(entries.value(QStringLiteral("NSAppleScriptEnabled")), QStringLiteral("true"));
    EXPECT_EQ(entries.value(QStringLiteral("NSPrincipalClass")), QStringLiteral("NSApplication"));
    // The resource the bundle carries (bundle.cmake) under the name the plist gives.
    EXPECT_EQ(entries.value(QStringLiteral("OSAScriptingDefinition")),
              QStringLiteral("Carvo.sdef"));
    EXPECT_FALSE(entries.value(QStringLiteral("NSAppleEventsUsageDescription")).isEmpty());
    EXPECT_FALSE(entries.value(QStringLiteral("CFBundleName")).isEmpty());
    EXPECT_FALSE(entries.value(QStringLiteral("CFBundleIdentifier")).isEmpty());
    EXPECT_TRUE(readAll(macosDir + QStringLiteral("/bundle.cmake"))
                    .contains(QStringLiteral("${here}/Carvo.sdef")));
}

} // namespace
} // namespace carvo
