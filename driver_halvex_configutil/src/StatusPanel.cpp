#include "StatusPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* HintLabel() {
    auto* label = new QLabel;
    label->setWordWrap(true);
    label->setStyleSheet("color: #777");
    label->hide();
    return label;
}

}  // namespace

cStatusPanel::cStatusPanel(QWidget* parent) : QGroupBox(tr("Live Status"), parent) {
    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 2);
    int row = 0;
    const auto addLine = [&](const QString& name, sLineLabels& labels, QLabel** nameLabel) {
        auto* label = new QLabel(name);
        if (nameLabel) *nameLabel = label;
        grid->addWidget(label, row, 0, Qt::AlignRight);
        labels.state = new QLabel(tr("unknown"));
        grid->addWidget(labels.state, row++, 1);
        labels.hint = HintLabel();
        grid->addWidget(labels.hint, row++, 1);
    };
    addLine(tr("Mocap Stream:"), mServer, nullptr);
    grid->addWidget(new QLabel(tr("Frame Rate:")), row, 0, Qt::AlignRight);
    mFrameRate = new QLabel("\u2014");
    grid->addWidget(mFrameRate, row++, 1);
    grid->addWidget(new QLabel(tr("Latency:")), row, 0, Qt::AlignRight);
    mLatency = new QLabel("\u2014");
    grid->addWidget(mLatency, row++, 1);
    const char* const names[] = {"HMD:", "Controller A:", "Controller B:"};
    for (int i = 0; i < 3; ++i) {
        addLine(tr(names[i]), mDevices[i], &mNames[i]);
        mCalibrations[i] = new QLabel;
        mCalibrations[i]->setWordWrap(true);
        mCalibrations[i]->hide();
        grid->addWidget(mCalibrations[i], row++, 1);
    }
    auto* buttons = new QHBoxLayout;
    mCalibrateButton = new QPushButton(tr("Calibrate..."));
    mClearButton = new QPushButton(tr("Clear Calibration"));
    buttons->addWidget(mCalibrateButton);
    buttons->addWidget(mClearButton);
    grid->addLayout(buttons, row, 1);
    connect(mCalibrateButton, &QPushButton::clicked, this, &cStatusPanel::CalibrateClicked);
    connect(mClearButton, &QPushButton::clicked, this, &cStatusPanel::ClearCalibrationClicked);
}

void cStatusPanel::ShowLine(const sLineLabels& labels, const sStatusLine& line) {
    labels.state->setText(line.state);
    labels.state->setStyleSheet(line.bad ? "color: #D00" : "");
    labels.hint->setText(line.hint);
    labels.hint->setVisible(!line.hint.isEmpty());
}

void cStatusPanel::Show(const sLiveStatusText& status) {
    ShowLine(mServer, status.server);
    mFrameRate->setText(status.frameRate);
    mLatency->setText(status.latency);
    for (size_t i = 0; i < status.devices.size(); ++i) {
        mNames[i]->setText(status.devices[i].name + ":");
        ShowLine(mDevices[i], status.devices[i].line);
        const QString& calibration = status.devices[i].calibration;
        mCalibrations[i]->setText(calibration.isEmpty() ? QString() : tr("Calibration: %1").arg(calibration));
        mCalibrations[i]->setVisible(!calibration.isEmpty());
    }
    // A hint that appears needs room the window was not laid out with.
    if (QWidget* top = window(); top != this && top->isVisible()) {
        if (top->layout()) top->layout()->activate();
        int needed = top->heightForWidth(top->width());
        if (needed < 0) needed = top->sizeHint().height();
        if (needed > top->height()) top->resize(top->width(), needed);
    }
}
