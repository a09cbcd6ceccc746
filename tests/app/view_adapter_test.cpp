// The views' models filled from the engine's values: each phase and each of QLab's states maps to
// its own, and the settings sheet shows the texts the rest of Carvo uses for QLab's states.
#include <gtest/gtest.h>

#include <set>

#include <QMetaEnum>

#include "app/view_adapter.h"

namespace carvo {
namespace {

TEST(ViewAdapter, EachPhaseMapsToTheModelsPhaseOfTheSameName) {
    const std::pair<ShowPhase, const char*> phases[] = {
        {ShowPhase::idle, "idle"},
        {ShowPhase::running, "running"},
        {ShowPhase::standby, "standby"},
        {ShowPhase::stopped, "stopped"},
        {ShowPhase::qlabNotAnswering, "qlabNotAnswering"},
    };
    const QMetaEnum keys = QMetaEnum::fromType<ui::ShowStateModel::Phase>();
    ASSERT_EQ(keys.keyCount(), static_cast<int>(std::size(phases)));
    for (const auto& [phase, name] : phases) {
        ShowState state;
        state.phase = phase;
        const char* key = keys.valueToKey(static_cast<int>(showStateValue(state).phase));
        EXPECT_EQ(QString::fromLatin1(key).compare(QLatin1String(name), Qt::CaseInsensitive), 0)
            << name << " became " << key;
    }
}

TEST(ViewAdapter, TheShowStatesFiguresReachTheModelUnchanged) {
    const ShowState state{QStringLiteral("G1"),
                          QStringLiteral("Overture"),
                          17,
                          3,
                          0.625,
                          7,
                          ShowPhase::running,
                          0,
                          0,
                          {}};
    const ui::ShowStateModel::Value value = showStateValue(state);
    EXPECT_EQ(value.cueID, state.cueID);
    EXPECT_EQ(value.cueName, state.cueName);
    EXPECT_EQ(value.bar, 17);
    EXPECT_EQ(value.beat, 3);
    EXPECT_EQ(value.progress, 0.625);
    EXPECT_EQ(value.beatsPerBar, 7);
}

TEST(ViewAdapter, EveryQLabStateIsShownWithItsOwnText) {
    const QLabState states[] = {QLabState::notRunning, QLabState::runningNoWorkspace,
                                QLabState::runningWithWorkspace, QLabState::runningWithCarvoCue,
                                QLabState::waitingToCheck};
    std::set<ui::QLabModel::Status> seen;
    for (QLabState state : states) {
        const ui::QLabModel::Status status = qlabStatus(state);
        seen.insert(status);
        EXPECT_EQ(ui::qlabStatusText(status), qlabStateText(state));
    }
    EXPECT_EQ(seen.size(), std::size(states));
}

} // namespace
} // namespace carvo
