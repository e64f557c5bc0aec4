// The window's "Live Status" group: the mocap stream and each device as the driver
// reports them, a hint under every bad state, and the calibration buttons.
#pragma once

#include "LiveStatus.h"

#include <QGroupBox>

#include <array>

class QLabel;
class QPushButton;

class cStatusPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit cStatusPanel(QWidget* parent = nullptr);

    void Show(const sLiveStatusText& status);

    QLabel* ServerLabel() const { return mServer.state; }
    QLabel* ServerHintLabel() const { return mServer.hint; }
    QLabel* FrameRateLabel() const { return mFrameRate; }
    QLabel* LatencyLabel() const { return mLatency; }
    // 0 head, 1 controller A, 2 controller B.
    QLabel* DeviceLabel(int i) const { return mDevices[i].state; }
    QLabel* DeviceHintLabel(int i) const { return mDevices[i].hint; }
    QLabel* CalibrationLabel(int i) const { return mCalibrations[i]; }
    QPushButton* CalibrateButton() const { return mCalibrateButton; }
    QPushButton* ClearCalibrationButton() const { return mClearButton; }

signals:
    void CalibrateClicked();
    void ClearCalibrationClicked();

private:
    struct sLineLabels {
        QLabel* state = nullptr;
        QLabel* hint = nullptr;
    };
    static void ShowLine(const sLineLabels& labels, const sStatusLine& line);

    sLineLabels mServer;
    QLabel* mFrameRate = nullptr;
    QLabel* mLatency = nullptr;
    std::array<QLabel*, 3> mNames{};
    std::array<sLineLabels, 3> mDevices{};
    std::array<QLabel*, 3> mCalibrations{};
    QPushButton* mCalibrateButton = nullptr;
    QPushButton* mClearButton = nullptr;
};
