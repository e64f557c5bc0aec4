// The window as a person meets it: its texts, the enable rule, the list of override
// targets both controllers share, and the buttons' signals.
#include "MainWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <limits>

namespace {

QStringList Texts(const QList<QLabel*>& labels) {
    QStringList texts;
    for (const QLabel* label : labels) texts << label->text();
    return texts;
}

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

TEST(MainWindow, ShowsEveryGroupLabelAndChoice) {
    cMainWindow window;
    EXPECT_EQ(window.windowTitle(), "Halvex OpenVR Driver Configuration");
    EXPECT_EQ(window.minimumWidth(), 400);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    QStringList groups;
    for (const QGroupBox* group : window.findChildren<QGroupBox*>()) groups << group->title();
    EXPECT_EQ(groups, (QStringList{"", "Live Status", "Connection", "HMD", "Controller A", "Controller B"}));

    const QStringList labels = Texts(window.findChildren<QLabel*>());
    for (const char* text : {"OpenVR Status:", "Driver Version:", "2.2.0.0 (57183)", "Orientation:", "+Z Forward",
                             "Connection Type:", "Server Address:", "Local Address:", "Tracking Type:", "Enable:",
                             "Rigid Body ID:", "Override Device:"}) {
        EXPECT_TRUE(labels.contains(text)) << text;
    }
    EXPECT_EQ(labels.count("Enable:"), 3);
    EXPECT_EQ(labels.count("Override Device:"), 2) << "the head's override box is not shown";
    EXPECT_EQ(window.StatusLabel()->text(), "<span style='color: #777'>(unknown)</span>");
    EXPECT_EQ(window.StatusLabel()->textFormat(), Qt::RichText);

    EXPECT_EQ(Items(window.ConnectionTypeBox()), (QStringList{"Multicast", "Unicast"}));
    EXPECT_EQ(Items(window.TrackingTypeBox()),
              (QStringList{"Standard Tracking", "Halvex Tracking Only", "HMD Tracking Only"}));
    for (const QSpinBox* box : {window.HeadRigidBodyBox(), window.ControllerARigidBodyBox(),
                                window.ControllerBRigidBodyBox()}) {
        EXPECT_EQ(box->minimum(), 0);
        EXPECT_EQ(box->maximum(), std::numeric_limits<int>::max());
    }
    EXPECT_EQ(window.RetryButton()->text(), "Retry");
    EXPECT_EQ(window.LoadButton()->text(), "Load Last Save");
    EXPECT_EQ(window.SaveButton()->text(), "Save");
}

TEST(MainWindow, RigidBodyAndOverrideFollowTheirEnableBox) {
    cMainWindow window;
    window.show();
    for (QWidget* w : std::initializer_list<QWidget*>{window.HeadRigidBodyBox(), window.ControllerARigidBodyBox(),
                                                      window.ControllerAOverrideBox(), window.ControllerBRigidBodyBox(),
                                                      window.ControllerBOverrideBox()}) {
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    }
    EXPECT_FALSE(window.HeadOverrideBox()->isVisible());

    window.ControllerAEnableBox()->setChecked(true);
    EXPECT_TRUE(window.ControllerARigidBodyBox()->isEnabled());
    EXPECT_TRUE(window.ControllerAOverrideBox()->isEnabled());
    EXPECT_FALSE(window.ControllerBOverrideBox()->isEnabled());
    EXPECT_FALSE(window.HeadRigidBodyBox()->isEnabled());
    window.HeadEnableBox()->setChecked(true);
    EXPECT_TRUE(window.HeadRigidBodyBox()->isEnabled());
    EXPECT_FALSE(window.HeadOverrideBox()->isVisible()) << "never shown, whatever the head's Enable box says";
    window.ControllerAEnableBox()->setChecked(false);
    EXPECT_FALSE(window.ControllerAOverrideBox()->isEnabled());
}

TEST(MainWindow, ControllersShareOneListButKeepTheirOwnChoice) {
    cMainWindow window;
    EXPECT_EQ(Items(window.ControllerAOverrideBox()), QStringList{""}) << "starts with one empty item";
    window.AddOverrideDevice("/devices/lighthouse/LHR-A");
    window.AddOverrideDevice("/devices/lighthouse/LHR-B");
    EXPECT_EQ(Items(window.ControllerBOverrideBox()),
              (QStringList{"", "/devices/lighthouse/LHR-A", "/devices/lighthouse/LHR-B"}));
    window.ControllerAOverrideBox()->setCurrentIndex(1);
    window.ControllerBOverrideBox()->setCurrentIndex(2);
    EXPECT_EQ(window.ControllerAOverrideBox()->currentText(), "/devices/lighthouse/LHR-A");
    EXPECT_EQ(window.ControllerBOverrideBox()->currentText(), "/devices/lighthouse/LHR-B");
    EXPECT_EQ(window.HeadOverrideBox()->count(), 0) << "the head's box has a list of its own";
}

TEST(MainWindow, TypingAPathDoesNotAddItToTheList) {
    cMainWindow window;
    window.show();
    window.ControllerAEnableBox()->setChecked(true);
    QComboBox* box = window.ControllerAOverrideBox();
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), "/user/hand/left");
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(box->currentText(), "/user/hand/left");
    EXPECT_EQ(window.ControllerBOverrideBox()->currentText(), "") << "B keeps its own text";
}

TEST(MainWindow, StatusAndRetryFollowTheConnection) {
    cMainWindow window;
    window.SetOpenvrStatus(true);
    EXPECT_EQ(window.StatusLabel()->text(), "Initialized");
    EXPECT_FALSE(window.RetryButton()->isEnabled());
    window.SetOpenvrStatus(false);
    EXPECT_EQ(window.StatusLabel()->text(), "<span style='color: #D00'>Not initialized</span>");
    EXPECT_TRUE(window.RetryButton()->isEnabled());
}

TEST(MainWindow, ButtonsOnlyEmitTheirSignals) {
    cMainWindow window;
    QSignalSpy retry(&window, &cMainWindow::RetryInitClicked);
    QSignalSpy load(&window, &cMainWindow::LoadClicked);
    QSignalSpy save(&window, &cMainWindow::SaveClicked);
    window.LoadButton()->click();
    window.SaveButton()->click();
    window.SaveButton()->click();
    window.RetryButton()->click();
    EXPECT_EQ(retry.count(), 1);
    EXPECT_EQ(load.count(), 1);
    EXPECT_EQ(save.count(), 2);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
