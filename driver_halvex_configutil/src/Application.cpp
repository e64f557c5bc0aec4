#include "Application.h"

#include "AsyncDriverLink.h"
#include "CalibrationWizard.h"
#include "LiveStatus.h"
#include "MainWindow.h"
#include "StatusPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QtGlobal>

#include <array>
#include <clocale>
#include <cstdio>

namespace {

const char* const kDriverSection = "driver_halvex";
const char* const kOverridesSection = "TrackingOverrides";
const char* const kDriverName = "halvex";

// The tracking type box's index is the position in this table.
const char* const kTrackingTypes[] = {"Standard", "HalvexOnly", "HMDOnly"};
const int kTrackingTypeCount = static_cast<int>(sizeof(kTrackingTypes) / sizeof(kTrackingTypes[0]));

const uint32_t kStringBufferSize = 512;
const uint32_t kPropertyBufferSize = 256;

// The key of one of the driver's devices in "TrackingOverrides".
QByteArray DevicePath(const char* serial) {
    char path[128];
    std::snprintf(path, sizeof(path), "/devices/%s/%s", kDriverName, serial);
    return QByteArray(path);
}

int TrackingTypeIndex(const char* value) {
    for (int i = 0; i < kTrackingTypeCount; ++i) {
        if (qstrcmp(value, kTrackingTypes[i]) == 0) return i;
    }
    return 0;
}

QString StringProperty(vr::IVRSystem* system, uint32_t index, vr::ETrackedDeviceProperty prop) {
    char value[kPropertyBufferSize] = {};
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    system->GetStringTrackedDeviceProperty(index, prop, value, sizeof(value), &error);
    if (error != vr::TrackedProp_Success) return QString();
    return QString::fromUtf8(value);
}

const char* EventWord(vr::EVREventType event) {
    switch (event) {
        case vr::VREvent_TrackedDeviceActivated: return "activated";
        case vr::VREvent_TrackedDeviceDeactivated: return "deactivated";
        case vr::VREvent_TrackedDeviceUpdated: return "updated";
        default: return "initialized";
    }
}

// One device's rigid body, its Enable box and its override box.
struct sDeviceSlot {
    const char* rigidBodyKey;
    QByteArray devicePath;
    const char* defaultOverride;
    QCheckBox* enableBox;
    QSpinBox* rigidBodyBox;
    QComboBox* overrideBox;
};

// Head, controller A, controller B: the order of loading and saving.
std::array<sDeviceSlot, 3> DeviceSlots(cMainWindow* w) {
    return {{{"tessalyRigidBodyIdHead", DevicePath("halvex-head"), "/user/head", w->HeadEnableBox(),
              w->HeadRigidBodyBox(), w->HeadOverrideBox()},
             {"tessalyRigidBodyIdControllerA", DevicePath("halvex-controller-a"), "/user/hand/left",
              w->ControllerAEnableBox(), w->ControllerARigidBodyBox(), w->ControllerAOverrideBox()},
             {"tessalyRigidBodyIdControllerB", DevicePath("halvex-controller-b"), "/user/hand/right",
              w->ControllerBEnableBox(), w->ControllerBRigidBodyBox(), w->ControllerBOverrideBox()}}};
}

// One string read into a buffer of its own: a runtime may leave the buffer as it was
// on a failed read, and a failed read must never show another key's text. Empty on failure.
QString ReadString(vr::IVRSettings* settings, const char* section, const char* key) {
    char value[kStringBufferSize] = {};
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    settings->GetString(section, key, value, sizeof(value), &error);
    if (error != vr::VRSettingsError_None) return QString();
    value[sizeof(value) - 1] = '\0';
    return QString::fromUtf8(value);
}

void LoadOverride(vr::IVRSettings* settings, const sDeviceSlot& slot) {
    const QString value = ReadString(settings, kOverridesSection, slot.devicePath.constData());
    if (value.isEmpty()) {
        slot.overrideBox->setEditText(slot.defaultOverride);
        return;
    }
    slot.overrideBox->addItem(value);
    slot.overrideBox->setCurrentIndex(slot.overrideBox->count() - 1);
}

void LoadRigidBody(vr::IVRSettings* settings, const sDeviceSlot& slot) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const int32_t id = settings->GetInt32(kDriverSection, slot.rigidBodyKey, &error);
    slot.rigidBodyBox->setValue(id);
    slot.enableBox->setChecked(error == vr::VRSettingsError_None && id >= 1);
}

// An enabled slot with an ID writes both keys; any other removes both, so the driver
// sees no device there.
void SaveSlot(vr::IVRSettings* settings, const sDeviceSlot& slot, bool& anyError) {
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const auto note = [&]() {
        if (error != vr::VRSettingsError_None) anyError = true;
        error = vr::VRSettingsError_None;
    };
    if (slot.enableBox->isChecked() && slot.rigidBodyBox->value() > 0) {
        settings->SetInt32(kDriverSection, slot.rigidBodyKey, slot.rigidBodyBox->value(), &error);
        note();
        settings->SetString(kOverridesSection, slot.devicePath.constData(),
                            slot.overrideBox->currentText().toUtf8().constData(), &error);
        note();
    } else {
        settings->RemoveKeyInSection(kDriverSection, slot.rigidBodyKey, &error);
        note();
        settings->RemoveKeyInSection(kOverridesSection, slot.devicePath.constData(), &error);
        note();
    }
}

}  // namespace

cApplication::cApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Qt takes the user's locale for the C library too; the calibration's setting
    // texts must keep their decimal points.
    std::setlocale(LC_NUMERIC, "C");
    mTimer = new QTimer(this);
    mStatusTimer = new QTimer(this);
    mDriverLink = new cAsyncDriverLink(this);
    mMainWindow = new cMainWindow;

    connect(this, &QCoreApplication::aboutToQuit, this, &cApplication::Shutdown);
    connect(mTimer, &QTimer::timeout, this, &cApplication::ProcessEvents);
    connect(mMainWindow, &cMainWindow::RetryInitClicked, this, &cApplication::RetryInitialization);
    connect(mMainWindow, &cMainWindow::LoadClicked, this, &cApplication::LoadSettings);
    connect(mMainWindow, &cMainWindow::SaveClicked, this, &cApplication::SaveSettings);
    connect(mStatusTimer, &QTimer::timeout, this, &cApplication::RefreshStatus);
    connect(mMainWindow->StatusPanel(), &cStatusPanel::CalibrateClicked, this, &cApplication::OpenCalibrationWizard);
    connect(mMainWindow->StatusPanel(), &cStatusPanel::ClearCalibrationClicked, this, &cApplication::ClearCalibration);

    ConnectToRunningRuntime();
    // With a running runtime this loads a second time; without one it makes the
    // temporary utility connection.
    LoadSettings();

    mTimer->setInterval(1);
    mTimer->start();
    mStatusTimer->setInterval(1000);
    mStatusTimer->start();
    RefreshStatus();
    mMainWindow->show();
}

cApplication::~cApplication() {
    Shutdown();
    delete mWizard;
    delete mMainWindow;
}

bool cApplication::ConnectToRunningRuntime() {
    if (!InitializeOpenvr(vr::VRApplication_Background, nullptr)) return false;
    ShutdownOpenvr();
    if (!InitializeOpenvr(vr::VRApplication_Other, nullptr)) return false;
    UpdateAllTrackedDevices();
    if (!mSettingsLoaded && LoadSettings()) mSettingsLoaded = true;
    return true;
}

bool cApplication::RetryInitialization() { return ConnectToRunningRuntime(); }

bool cApplication::InitializeOpenvr(vr::EVRApplicationType type, vr::EVRInitError* error) {
    if (mVrSystem) ShutdownOpenvr();
    vr::EVRInitError initError = vr::VRInitError_None;
    vr::IVRSystem* system = vr::VR_Init(&initError, type);
    if (initError == vr::VRInitError_None && !system) {
        // Connected, yet no system interface: do not keep a connection nobody can close.
        vr::VR_Shutdown();
        initError = vr::VRInitError_Init_InterfaceNotFound;
    }
    if (error) *error = initError;
    if (initError == vr::VRInitError_None) {
        mVrSystem = system;
        vr::EVRInitError debugError = vr::VRInitError_None;
        auto* debug = static_cast<vr::IVRDebug*>(vr::VR_GetGenericInterface(vr::IVRDebug_Version, &debugError));
        mDriverLink->SetLink(std::make_shared<cDriverLink>(system, debug));
        qInfo("OpenVR initialized successfully");
        mMainWindow->SetOpenvrStatus(true);
        return true;
    }
    mVrSystem = nullptr;
    mMainWindow->SetOpenvrStatus(false);
    return false;
}

bool cApplication::ShutdownOpenvr() {
    if (!mVrSystem) return false;
    // No request may be out on the connection that goes now.
    mDriverLink->SetLink(nullptr);
    vr::VR_Shutdown();
    mVrSystem = nullptr;
    qInfo("OpenVR shutdown");
    mMainWindow->SetOpenvrStatus(false);
    mTrackedDevices.clear();
    return true;
}

void cApplication::Shutdown() {
    disconnect(mTimer, nullptr, this, nullptr);
    disconnect(mStatusTimer, nullptr, this, nullptr);
    ShutdownOpenvr();
}

void cApplication::ProcessEvents() {
    vr::VREvent_t event;
    while (mVrSystem && mVrSystem->PollNextEvent(&event, sizeof(event))) {
        switch (event.eventType) {
            case vr::VREvent_TrackedDeviceActivated:
            case vr::VREvent_TrackedDeviceDeactivated:
            case vr::VREvent_TrackedDeviceUpdated:
                UpdateTrackedDevice(event.trackedDeviceIndex, static_cast<vr::EVREventType>(event.eventType));
                break;
            case vr::VREvent_ButtonPress: {
                const auto device = mTrackedDevices.constFind(event.trackedDeviceIndex);
                if (device != mTrackedDevices.constEnd()) {
                    qInfo("Button pressed - controller %u (%s), button %u", event.trackedDeviceIndex,
                          qPrintable(device->registeredDeviceType), event.data.controller.button);
                }
                break;
            }
            case vr::VREvent_Quit:
                qInfo("Got VREvent_Quit");
                mVrSystem->AcknowledgeQuit_Exiting();
                ShutdownOpenvr();
                break;
            default:
                break;
        }
    }
}

void cApplication::UpdateAllTrackedDevices() {
    for (uint32_t index = 0; mVrSystem && index < vr::k_unMaxTrackedDeviceCount; ++index) {
        if (mVrSystem->GetTrackedDeviceClass(index) != vr::TrackedDeviceClass_Invalid) {
            UpdateTrackedDevice(index, vr::VREvent_None);
        }
    }
}

void cApplication::UpdateTrackedDevice(uint32_t index, vr::EVREventType event) {
    qInfo("Tracked device #%d %s", static_cast<int>(index), EventWord(event));
    if (event == vr::VREvent_TrackedDeviceDeactivated) {
        mTrackedDevices.remove(index);
        return;
    }
    if (!mVrSystem) return;
    sTrackedDeviceInfo& info = mTrackedDevices[index];
    info.deviceClass = mVrSystem->GetTrackedDeviceClass(index);
    info.trackingSystemName = StringProperty(mVrSystem, index, vr::Prop_TrackingSystemName_String);
    info.registeredDeviceType = StringProperty(mVrSystem, index, vr::Prop_RegisteredDeviceType_String);

    // Other systems' controllers and trackers are offered as override targets.
    const bool controllerOrTracker = info.deviceClass == vr::TrackedDeviceClass_Controller ||
                                     info.deviceClass == vr::TrackedDeviceClass_GenericTracker;
    // The driver's devices name their system "Halvex": never their own override target.
    const bool ours = info.trackingSystemName.compare(QLatin1String(kDriverName), Qt::CaseInsensitive) == 0;
    if (controllerOrTracker && !ours &&
        !info.registeredDeviceType.isEmpty()) {
        mMainWindow->AddOverrideDevice(QString("/devices/%1").arg(info.registeredDeviceType));
    }
}

bool cApplication::AcquireConnection(const char* failureText, bool& temporary) {
    temporary = false;
    if (mVrSystem) return true;
    vr::EVRInitError error = vr::VRInitError_None;
    if (InitializeOpenvr(vr::VRApplication_Utility, &error)) {
        temporary = true;
        return true;
    }
    QMessageBox::critical(mMainWindow, tr("Error"),
                          tr(failureText).arg(QString::fromUtf8(vr::VR_GetVRInitErrorAsEnglishDescription(error))),
                          QMessageBox::Ok);
    return false;
}

bool cApplication::LoadSettings() {
    bool temporary = false;
    if (!AcquireConnection(QT_TR_NOOP("Unable to load settings: Unable to initialize OpenVR\n(%1)"), temporary)) {
        return false;
    }
    vr::EVRInitError interfaceError = vr::VRInitError_None;
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, &interfaceError));
    if (settings) ShowSettingsFrom(settings);
    if (temporary) ShutdownOpenvr();
    // A runtime without the settings interface loaded nothing.
    if (!settings) return false;
    mSettingsLoaded = true;
    return true;
}

void cApplication::ShowSettingsFrom(vr::IVRSettings* settings) {
    cMainWindow* w = mMainWindow;
    w->ConnectionTypeBox()->setCurrentIndex(settings->GetBool(kDriverSection, "tessalyUseMulticast") ? 0 : 1);
    w->ServerAddressField()->setText(ReadString(settings, kDriverSection, "tessalyServerAddress"));
    w->LocalAddressField()->setText(ReadString(settings, kDriverSection, "tessalyLocalAddress"));
    w->TrackingTypeBox()->setCurrentIndex(
        TrackingTypeIndex(ReadString(settings, kDriverSection, "trackingType").toUtf8().constData()));
    for (const sDeviceSlot& slot : DeviceSlots(w)) {
        LoadOverride(settings, slot);
        LoadRigidBody(settings, slot);
    }
}

bool cApplication::SaveSettings() {
    bool temporary = false;
    if (!AcquireConnection(QT_TR_NOOP("Unable to save settings: Unable to initialize OpenVR\n(%1)"), temporary)) {
        return false;
    }
    vr::EVRInitError interfaceError = vr::VRInitError_None;
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, &interfaceError));
    // Without the settings interface nothing was written: say so rather than stay silent.
    bool anyError = settings == nullptr;
    if (settings) {
        cMainWindow* w = mMainWindow;
        vr::EVRSettingsError error = vr::VRSettingsError_None;
        const auto note = [&]() {
            if (error != vr::VRSettingsError_None) anyError = true;
            error = vr::VRSettingsError_None;
        };
        settings->SetBool(kDriverSection, "tessalyUseMulticast", w->ConnectionTypeBox()->currentIndex() == 0, &error);
        note();
        settings->SetString(kDriverSection, "tessalyServerAddress", w->ServerAddressField()->text().toUtf8().constData(),
                            &error);
        note();
        settings->SetString(kDriverSection, "tessalyLocalAddress", w->LocalAddressField()->text().toUtf8().constData(),
                            &error);
        note();
        const int trackingType = qBound(0, w->TrackingTypeBox()->currentIndex(), kTrackingTypeCount - 1);
        settings->SetString(kDriverSection, "trackingType", kTrackingTypes[trackingType], &error);
        note();
        for (const sDeviceSlot& slot : DeviceSlots(w)) SaveSlot(settings, slot, anyError);
    }
    if (anyError) {
        QMessageBox::warning(mMainWindow, tr("Warning"), tr("Some settings may not have been saved."),
                             QMessageBox::Ok);
    }
    if (temporary) ShutdownOpenvr();
    return true;
}

void cApplication::RefreshStatus() {
    if (mDriverLink->Busy()) return;
    if (!mVrSystem) {
        mMainWindow->StatusPanel()->Show(DescribeStatus(cDriverLink(nullptr, nullptr).Ask("status")));
        return;
    }
    mDriverLink->Ask("status", this, [this](const sDriverAnswer& answer) {
        mMainWindow->StatusPanel()->Show(DescribeStatus(answer));
    });
}

bool cApplication::SaveCalibrations(const tSlotCalibrations& calibrations, QString& error) {
    if (!mVrSystem) {
        error = tr("The runtime is not running: start it and calibrate again.");
        return false;
    }
    vr::EVRInitError interfaceError = vr::VRInitError_None;
    auto* settings = static_cast<vr::IVRSettings*>(vr::VR_GetGenericInterface(vr::IVRSettings_Version, &interfaceError));
    std::string reason;
    if (WriteCalibrations(settings, calibrations, reason)) return true;
    error = QString::fromStdString(reason);
    return false;
}

cCalibrationWizard* cApplication::CalibrationWizard() const { return mWizard; }

void cApplication::OpenCalibrationWizard() {
    if (mWizard) {
        mWizard->raise();
        return;
    }
    if (!mVrSystem) {
        QMessageBox::warning(mMainWindow, tr("Calibration"),
                             tr("The calibration needs the runtime running with the driver: start it and press Retry."),
                             QMessageBox::Ok);
        return;
    }
    mWizard = new cCalibrationWizard(
        *mDriverLink, [this](const tSlotCalibrations& c, QString& error) { return SaveCalibrations(c, error); },
        mCalibrationSeconds, mMainWindow);
    mWizard->setAttribute(Qt::WA_DeleteOnClose);
    connect(mWizard, &cCalibrationWizard::CalibrationApplied, this, &cApplication::RefreshStatus);
    mWizard->open();
}

void cApplication::ClearCalibration() {
    const QMessageBox::StandardButton choice = QMessageBox::question(
        mMainWindow, tr("Clear Calibration"),
        tr("Forget the calibration of every device? The driver then uses the rigid bodies as they are streamed."),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
    if (choice != QMessageBox::Yes) return;
    QString error;
    if (!SaveCalibrations(IdentityCalibrations(), error)) {
        QMessageBox::critical(mMainWindow, tr("Error"), tr("The calibration was not cleared: %1").arg(error),
                              QMessageBox::Ok);
        return;
    }
    mDriverLink->Ask("reload", this, [this](const sDriverAnswer& answer) {
        if (!answer.Ok()) {
            QMessageBox::warning(mMainWindow, tr("Warning"),
                                 tr("The calibration was cleared in the settings, but the driver did not take it up "
                                    "now: %1 It applies at the runtime's next start.")
                                     .arg(QString::fromStdString(answer.message)),
                                 QMessageBox::Ok);
        }
        RefreshStatus();
    });
}
