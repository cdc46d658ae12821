#include <gtest/gtest.h>

#include <csignal>

#include "Common/ErrorHandling.h"
#include "Common/ProgressMonitor.h"
#include "SettingsTestHost.h"

namespace ui = vexa::host::ui;

TEST(Progress, EscapeDuringARunStopsIt) {
    vexa::test::SettingsTestHost host;
    ui::setEscapePending(true);  // typed before the run: does not count
    CProgressMonitor progress;
    EXPECT_TRUE(progress.hasMonitor());
    progress.setDuration(4, "kAddPages");
    EXPECT_FALSE(progress.setValue(1));
    progress.setText("kPlacePages");
    ui::setEscapePending(true);
    EXPECT_TRUE(progress.setValue(2));
    EXPECT_TRUE(checkForEscKey());
    ui::setEscapePending(false);
}

TEST(Progress, WithoutAHostMonitorOnlyTheEscapeTestRemains) {
    vexa::test::SettingsTestHost host;
    const AcroViewHFT* saved = gAcroViewHFT;
    gAcroViewHFT = nullptr;
    {
        CProgressMonitor progress;
        EXPECT_FALSE(progress.hasMonitor());
        progress.setDuration(10, "kAddPages");
        progress.setText("missing key");
        EXPECT_FALSE(progress.setValue(1));
        ui::setEscapePending(true);
        EXPECT_TRUE(progress.setValue(2));
    }
    gAcroViewHFT = saved;
    ui::setEscapePending(false);
}

TEST(Progress, AnInterruptDuringARunBecomesAPendingEscape) {
    vexa::test::SettingsTestHost host;
    {
        CProgressMonitor progress;
        progress.setDuration(3, "kPlacePages");
        EXPECT_FALSE(progress.setValue(1));
        raise(SIGINT);
        EXPECT_TRUE(progress.setValue(2));
    }
    ui::setEscapePending(false);
    {
        ui::InterruptAsEscape scope;
        raise(SIGINT);
        EXPECT_TRUE(ui::escapePending());
    }
    ui::setEscapePending(false);
}
