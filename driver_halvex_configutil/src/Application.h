// The utility's application object: owns the window, holds the runtime connection,
// polls the runtime's events every millisecond, keeps the table of tracked devices
// the runtime reports, loads and saves the driver's settings on the window's
// requests, asks the driver for its status once a second and runs the calibration.
// Everything but the driver requests runs on the Qt main thread.
#pragma once

#include "CalibrationSettings.h"

#include <openvr.h>

#include <QApplication>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>

class cAsyncDriverLink;
class cCalibrationWizard;
class cMainWindow;

struct sTrackedDeviceInfo {
    vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
    QString trackingSystemName;
    QString registeredDeviceType;
};

class cApplication : public QApplication {
    Q_OBJECT

public:
    // argc must outlive the application, as QApplication requires.
    cApplication(int& argc, char** argv);
    ~cApplication() override;

    cMainWindow* MainWindow() const { return mMainWindow; }
    bool IsOpenvrInitialized() const { return mVrSystem != nullptr; }
    const QHash<uint32_t, sTrackedDeviceInfo>& TrackedDevices() const { return mTrackedDevices; }
    // The wizard's countdown; a minute unless a test wants less.
    void SetCalibrationSeconds(int seconds) { mCalibrationSeconds = seconds; }
    // The open wizard; null when none is open.
    cCalibrationWizard* CalibrationWizard() const;

public slots:
    void Shutdown();
    void ProcessEvents();
    bool LoadSettings();
    bool SaveSettings();
    // Asks for the driver's status unless a request is still out; the panel shows it when it comes.
    void RefreshStatus();
    // Opens the wizard (without waiting for it) while the runtime runs.
    void OpenCalibrationWizard();
    // After the user confirms: the identity saved for every device, and the driver reloads.
    void ClearCalibration();

public:
    bool InitializeOpenvr(vr::EVRApplicationType type, vr::EVRInitError* error);
    bool ShutdownOpenvr();
    void UpdateTrackedDevice(uint32_t index, vr::EVREventType event);
    void UpdateAllTrackedDevices();
    bool RetryInitialization();
    // The window's fields from the settings store, in the load order; a read that fails
    // shows the field's default.
    void ShowSettingsFrom(vr::IVRSettings* settings);
    // Through the running runtime only: the driver must be there to reload them.
    bool SaveCalibrations(const tSlotCalibrations& calibrations, QString& error);

private:
    // A connection for one load or save: the open one, else a temporary utility
    // connection. False (after the error box) when none can be had.
    bool AcquireConnection(const char* failureText, bool& temporary);
    // Background probe first, so that an application connection is only ever made
    // to a runtime that is already running.
    bool ConnectToRunningRuntime();

    vr::IVRSystem* mVrSystem = nullptr;
    QTimer* mTimer = nullptr;
    QTimer* mStatusTimer = nullptr;
    cAsyncDriverLink* mDriverLink = nullptr;
    QPointer<cCalibrationWizard> mWizard;
    int mCalibrationSeconds = 60;
    cMainWindow* mMainWindow = nullptr;
    bool mSettingsLoaded = false;
    QHash<uint32_t, sTrackedDeviceInfo> mTrackedDevices;
};
