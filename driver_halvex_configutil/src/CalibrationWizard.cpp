#include "CalibrationWizard.h"

#include "CalibrationOutcomeText.h"

#include "recording_calibration.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>
#include <QtConcurrent/QtConcurrentRun>


// A recording's devices and their outcomes (which point into `devices`).
struct sEstimate {
    bool read = false;
    std::string fault;
    std::vector<halvex::calibrate::sRecordedDevice> devices;
    std::vector<halvex::calibrate::sDeviceOutcome> outcomes;
};

namespace {

std::shared_ptr<sEstimate> Estimate(const std::string& folder) {
    auto estimate = std::make_shared<sEstimate>();
    halvex::calibrate::sInputFault fault;
    estimate->read = halvex::calibrate::ReadRecordedDevices(folder, estimate->devices, fault);
    if (!estimate->read) {
        estimate->fault = fault.file + (fault.line > 0 ? ":" + std::to_string(fault.line) : "") + ": " + fault.reason;
        return estimate;
    }
    estimate->outcomes = halvex::calibrate::CalibrateDevices(estimate->devices);
    return estimate;
}

QLabel* WrappedLabel(const QString& text = QString()) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QLabel* ErrorLabel() {
    QLabel* label = WrappedLabel();
    label->setStyleSheet("color: #D00");
    return label;
}

}  // namespace

// Says what will happen; Next asks the driver to record and goes on once it does.
class cRecordingPage : public QWizardPage {
public:
    explicit cRecordingPage(cCalibrationWizard& wizard) : mWizard(wizard) {
        setTitle(tr("Calibrate the tracked devices"));
        setSubTitle(tr("The driver records the head and each enabled controller for %1 s while you move; the "
                       "calibration is then estimated from the recording.")
                        .arg(wizard.mRecordSeconds));
        auto* column = new QVBoxLayout(this);
        column->addWidget(WrappedLabel(
            tr("Put on the headset and hold the controllers, stand where the cameras see you well, and press Next to "
               "start recording. The runtime keeps running; nothing is saved before you press Apply at the end.")));
        mError = ErrorLabel();
        column->addWidget(mError);
        column->addStretch();
    }
    QString Error() const { return mError->text(); }

    bool validatePage() override {
        if (mWizard.mRecording) return true;
        mError->clear();
        wizard()->button(QWizard::NextButton)->setEnabled(false);
        mWizard.mLink.Ask("record start", this, [this](const sDriverAnswer& answer) {
            wizard()->button(QWizard::NextButton)->setEnabled(true);
            if (!answer.Ok()) {
                mError->setText(QString::fromStdString(answer.message) + " " + tr("Nothing was recorded."));
                return;
            }
            const nlohmann::json& folder = answer.body.contains("folder") ? answer.body["folder"] : nlohmann::json();
            mWizard.mRecording = true;
            if (!folder.is_string() || folder.get<std::string>().empty()) {
                mWizard.mLink.Ask("record stop", this, [](const sDriverAnswer&) {});
                mWizard.mRecording = false;
                mError->setText(tr("The driver does not say where it records: update the driver to this utility's "
                                   "version."));
                return;
            }
            mWizard.mFolder = folder.get<std::string>();
            wizard()->next();
        });
        return false;
    }

private:
    cCalibrationWizard& mWizard;
    QLabel* mError = nullptr;
};

// The motion to make, the countdown, then the recording stopped and estimated.
class cMotionPage : public QWizardPage {
public:
    explicit cMotionPage(cCalibrationWizard& wizard) : mWizard(wizard) {
        setTitle(tr("Move as shown until the countdown ends"));
        auto* column = new QVBoxLayout(this);
        column->addWidget(WrappedLabel(
            tr("<ul><li>Turn the head slowly left and right, nod, and tilt it to each shoulder, all three axes "
               "several times, with some quick small nods and shakes.</li><li>Take a few steps about the room.</li>"
               "<li>Wave each controller and turn it about all three axes.</li></ul>")));
        mProgress = new QProgressBar;
        mProgress->setRange(0, wizard.mRecordSeconds * 1000);
        column->addWidget(mProgress);
        mCountdown = WrappedLabel();
        column->addWidget(mCountdown);
        mError = ErrorLabel();
        column->addWidget(mError);
        column->addStretch();
        mTimer.setInterval(100);
        QObject::connect(&mTimer, &QTimer::timeout, this, [this] { Tick(); });
    }
    QString Error() const { return mError->text(); }
    QProgressBar* Progress() const { return mProgress; }

    void initializePage() override {
        mDone = false;
        mError->clear();
        mProgress->setValue(0);
        mClock.start();
        mTimer.start();
        Tick();
    }
    bool isComplete() const override { return mDone; }
    void cleanupPage() override {
        mTimer.stop();
        if (!mWizard.mRecording) return;
        mWizard.mLink.Ask("record stop", this, [](const sDriverAnswer&) {});
        mWizard.mRecording = false;
    }

private:
    void Tick() {
        const qint64 total = mWizard.mRecordSeconds * 1000LL;
        const qint64 elapsed = std::min(mClock.elapsed(), total);
        mProgress->setValue(static_cast<int>(elapsed));
        const qint64 left = (total - elapsed + 999) / 1000;
        mCountdown->setText(tr("%n s left", nullptr, static_cast<int>(left)));
        if (elapsed < total) return;
        mTimer.stop();
        mCountdown->setText(tr("Stopping the recording..."));
        mWizard.mLink.Ask("record stop", this, [this](const sDriverAnswer& answer) { Stopped(answer); });
    }

    void Stopped(const sDriverAnswer& answer) {
        mWizard.mRecording = false;
        if (!answer.Ok()) {
            mCountdown->clear();
            mError->setText(QString::fromStdString(answer.message) +
                            tr(" The recording may be incomplete: go Back and record again."));
            return;
        }
        mCountdown->setText(tr("Estimating the calibration..."));
        mProgress->setRange(0, 0);
        auto* watcher = new QFutureWatcher<std::shared_ptr<sEstimate>>(this);
        QObject::connect(watcher, &QFutureWatcher<std::shared_ptr<sEstimate>>::finished, this, [this, watcher] {
            watcher->deleteLater();
            mProgress->setRange(0, mWizard.mRecordSeconds * 1000);
            mProgress->setValue(mProgress->maximum());
            mWizard.mEstimate = watcher->result();
            if (!mWizard.mEstimate->read) {
                mCountdown->clear();
                mError->setText(tr("The recording could not be read (%1). Go Back and record again.")
                                    .arg(QString::fromStdString(mWizard.mEstimate->fault)));
                return;
            }
            mDone = true;
            emit completeChanged();
            wizard()->next();
        });
        const std::string folder = mWizard.mFolder;
        watcher->setFuture(QtConcurrent::run([folder] { return Estimate(folder); }));
    }

    cCalibrationWizard& mWizard;
    QProgressBar* mProgress = nullptr;
    QLabel* mCountdown = nullptr;
    QLabel* mError = nullptr;
    QTimer mTimer;
    QElapsedTimer mClock;
    bool mDone = false;
};

// Each device's result; Apply saves the accepted ones and has the driver reload.
class cResultPage : public QWizardPage {
public:
    explicit cResultPage(cCalibrationWizard& wizard) : mWizard(wizard) {
        setTitle(tr("The calibration"));
        auto* column = new QVBoxLayout(this);
        mResults = WrappedLabel();
        mResults->setTextFormat(Qt::RichText);
        column->addWidget(mResults);
        mError = ErrorLabel();
        column->addWidget(mError);
        column->addStretch();
        setFinalPage(true);
    }
    QString Error() const { return mError->text(); }
    QString Results() const { return mResults->text(); }

    void initializePage() override {
        mApplied = false;
        mError->clear();
        mSlots.clear();
        QStringList paragraphs;
        for (const halvex::calibrate::sDeviceOutcome& o : mWizard.mEstimate->outcomes) {
            paragraphs << CalibrationOutcomeText(o);
            if (o.result.ok) mSlots.emplace_back(o.device->slot, halvex::calibrate::ToDeviceCalibration(o.result));
        }
        if (mSlots.empty()) paragraphs << tr("Nothing to apply: go Back and record again.");
        else paragraphs << tr("Apply saves the calibrated devices' values and the driver uses them at once.");
        mResults->setText(paragraphs.join("<p>"));
        wizard()->setButtonText(QWizard::FinishButton, tr("Apply"));
    }
    bool isComplete() const override { return !mSlots.empty() && !mBusy; }

    bool validatePage() override {
        if (mApplied) return true;
        QString error;
        if (!mWizard.mSave(mSlots, error)) {
            mError->setText(error);
            return false;
        }
        mBusy = true;
        emit completeChanged();
        mWizard.mLink.Ask("reload", this, [this](const sDriverAnswer& answer) {
            mBusy = false;
            mApplied = true;
            emit mWizard.CalibrationApplied();
            if (answer.Ok()) {
                wizard()->accept();
                return;
            }
            mError->setText(tr("Saved, but the driver did not take it up now: %1 It applies at the runtime's next "
                               "start.")
                                .arg(QString::fromStdString(answer.message)));
            wizard()->setButtonText(QWizard::FinishButton, tr("Close"));
            emit completeChanged();
        });
        return false;
    }

private:
    cCalibrationWizard& mWizard;
    QLabel* mResults = nullptr;
    QLabel* mError = nullptr;
    tSlotCalibrations mSlots;
    bool mApplied = false;
    bool mBusy = false;
};

cCalibrationWizard::cCalibrationWizard(cAsyncDriverLink& link, tSaveCalibrations save, int recordSeconds,
                                       QWidget* parent)
    : QWizard(parent), mLink(link), mSave(std::move(save)), mRecordSeconds(std::max(1, recordSeconds)) {
    setWindowTitle(tr("Halvex Calibration"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    mPreparePage = new cRecordingPage(*this);
    mMotionPage = new cMotionPage(*this);
    mResultPage = new cResultPage(*this);
    setPage(kPrepare, mPreparePage);
    setPage(kMotion, mMotionPage);
    setPage(kResult, mResultPage);
    setMinimumWidth(520);
}

cCalibrationWizard::~cCalibrationWizard() = default;

QString cCalibrationWizard::ErrorText() const {
    switch (currentId()) {
        case kPrepare: return mPreparePage->Error();
        case kMotion: return mMotionPage->Error();
        case kResult: return mResultPage->Error();
        default: return QString();
    }
}

QString cCalibrationWizard::ResultText() const { return mResultPage->Results(); }

QProgressBar* cCalibrationWizard::ProgressBar() const { return mMotionPage->Progress(); }

void cCalibrationWizard::reject() {
    // A recording left running would fill the disk.
    if (mRecording) mLink.Ask("record stop", &mLink, [](const sDriverAnswer&) {});
    mRecording = false;
    QWizard::reject();
}
