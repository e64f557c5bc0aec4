// The calibration wizard: the driver records while the wearer follows the motion
// on screen for a countdown, then the recording is estimated with the calibration
// library, each device's result and quality shown, and Apply saves the accepted
// calibrations and has the driver reload them, the runtime running throughout.
#pragma once

#include "AsyncDriverLink.h"
#include "CalibrationSettings.h"

#include <QWizard>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class cRecordingPage;
class cMotionPage;
class cResultPage;
struct sEstimate;

// Saves calibrations all or nothing; false with a reason for the user.
using tSaveCalibrations = std::function<bool(const tSlotCalibrations&, QString& error)>;

class cCalibrationWizard : public QWizard {
    Q_OBJECT

public:
    enum ePage { kPrepare, kMotion, kResult };

    // `recordSeconds`: the countdown (a minute for a person).
    cCalibrationWizard(cAsyncDriverLink& link, tSaveCalibrations save, int recordSeconds = 60,
                       QWidget* parent = nullptr);
    ~cCalibrationWizard() override;

    // The error shown on the current page; empty when none.
    QString ErrorText() const;
    // The results page's text, one paragraph per device.
    QString ResultText() const;
    QProgressBar* ProgressBar() const;

signals:
    // The calibrations were saved and the driver reloaded them (or said why not).
    void CalibrationApplied();

public slots:
    void reject() override;

private:
    friend class cRecordingPage;
    friend class cMotionPage;
    friend class cResultPage;

    cAsyncDriverLink& mLink;
    tSaveCalibrations mSave;
    int mRecordSeconds;
    bool mRecording = false;
    std::string mFolder;
    std::shared_ptr<sEstimate> mEstimate;
    cRecordingPage* mPreparePage = nullptr;
    cMotionPage* mMotionPage = nullptr;
    cResultPage* mResultPage = nullptr;
};
