#include "MainWindow.h"

#include "StatusPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

const char* const kDriverVersion = "2.2.0.0";
const char* const kDriverBuild = "57183";

// Labels in column 0, values in column 1, the values twice as wide.
QGridLayout* CreateFormGrid(QWidget* group) {
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 2);
    return grid;
}

void AddRow(QGridLayout* grid, int row, const QString& label, QWidget* value) {
    grid->addWidget(new QLabel(label), row, 0, Qt::AlignRight);
    grid->addWidget(value, row, 1);
}

QSpinBox* CreateRigidBodyBox() {
    auto* box = new QSpinBox;
    box->setRange(0, std::numeric_limits<int>::max());
    return box;
}

// Typing a path must not add it to the list that both controllers share.
QComboBox* CreateOverrideBox(QWidget* parent = nullptr) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

}  // namespace

cMainWindow::cMainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(tr("Halvex OpenVR Driver Configuration"));
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setMinimumWidth(400);

    QWidget* statusGroup = CreateStatusGroup();
    mStatusPanel = new cStatusPanel;
    QWidget* connectionGroup = CreateConnectionGroup();
    QWidget* headGroup = CreateHeadGroup();
    QWidget* controllerAGroup = CreateControllerGroup(tr("Controller A"), mControllerAEnableBox,
                                                      mControllerARigidBodyBox, mControllerAOverrideBox);
    QWidget* controllerBGroup = CreateControllerGroup(tr("Controller B"), mControllerBEnableBox,
                                                      mControllerBRigidBodyBox, mControllerBOverrideBox);
    mControllerBOverrideBox->setModel(mControllerAOverrideBox->model());

    auto* buttonRow = new QHBoxLayout;
    mLoadButton = new QPushButton(tr("Load Last Save"));
    mSaveButton = new QPushButton(tr("Save"));
    buttonRow->addWidget(mLoadButton);
    buttonRow->addWidget(mSaveButton);
    connect(mRetryButton, &QPushButton::clicked, this, &cMainWindow::RetryInitClicked);
    connect(mLoadButton, &QPushButton::clicked, this, &cMainWindow::LoadClicked);
    connect(mSaveButton, &QPushButton::clicked, this, &cMainWindow::SaveClicked);

    AddOverrideDevice(QString());
    UpdateEnabledState();

    auto* central = new QWidget;
    auto* column = new QVBoxLayout(central);
    column->addWidget(statusGroup);
    column->addWidget(mStatusPanel);
    column->addWidget(connectionGroup);
    column->addWidget(headGroup);
    column->addWidget(controllerAGroup);
    column->addWidget(controllerBGroup);
    column->addLayout(buttonRow);
    setCentralWidget(central);
}

QWidget* cMainWindow::CreateStatusGroup() {
    auto* group = new QGroupBox;
    QGridLayout* grid = CreateFormGrid(group);
    mStatusLabel = new QLabel;
    mStatusLabel->setTextFormat(Qt::RichText);
    mStatusLabel->setText(tr("<span style='color: #777'>(unknown)</span>"));
    AddRow(grid, 0, tr("OpenVR Status:"), mStatusLabel);
    grid->addWidget(new QLabel(tr("Driver Version:")), 1, 0, Qt::AlignRight);
    grid->addWidget(new QLabel(QString(kDriverVersion) + " (" + kDriverBuild + ")"), 1, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Orientation:")), 2, 0, Qt::AlignRight);
    grid->addWidget(new QLabel(tr("+Z Forward")), 2, 1, Qt::AlignLeft);
    mRetryButton = new QPushButton(tr("Retry"));
    grid->addWidget(mRetryButton, 3, 1);
    return group;
}

QWidget* cMainWindow::CreateConnectionGroup() {
    auto* group = new QGroupBox(tr("Connection"));
    QGridLayout* grid = CreateFormGrid(group);
    mConnectionTypeBox = new QComboBox;
    mConnectionTypeBox->addItems({"Multicast", "Unicast"});
    AddRow(grid, 0, tr("Connection Type:"), mConnectionTypeBox);
    mServerAddressField = new QLineEdit;
    AddRow(grid, 1, tr("Server Address:"), mServerAddressField);
    mLocalAddressField = new QLineEdit;
    AddRow(grid, 2, tr("Local Address:"), mLocalAddressField);
    mTrackingTypeBox = new QComboBox;
    mTrackingTypeBox->addItems({"Standard Tracking", "Halvex Tracking Only", "HMD Tracking Only"});
    AddRow(grid, 3, tr("Tracking Type:"), mTrackingTypeBox);
    return group;
}

QWidget* cMainWindow::CreateHeadGroup() {
    auto* group = new QGroupBox(tr("HMD"));
    QGridLayout* grid = CreateFormGrid(group);
    mHeadEnableBox = new QCheckBox;
    AddRow(grid, 0, tr("Enable:"), mHeadEnableBox);
    mHeadRigidBodyBox = CreateRigidBodyBox();
    AddRow(grid, 1, tr("Rigid Body ID:"), mHeadRigidBodyBox);
    // Holds the head's override text for loading and saving; the head's role is not
    // offered for editing, so the box stays out of every layout and hidden.
    mHeadOverrideBox = CreateOverrideBox(this);
    mHeadOverrideBox->hide();
    connect(mHeadEnableBox, &QCheckBox::stateChanged, this, &cMainWindow::UpdateEnabledState);
    return group;
}

QWidget* cMainWindow::CreateControllerGroup(const QString& title, QCheckBox*& enableBox, QSpinBox*& rigidBodyBox,
                                            QComboBox*& overrideBox) {
    auto* group = new QGroupBox(title);
    QGridLayout* grid = CreateFormGrid(group);
    enableBox = new QCheckBox;
    AddRow(grid, 0, tr("Enable:"), enableBox);
    rigidBodyBox = CreateRigidBodyBox();
    AddRow(grid, 1, tr("Rigid Body ID:"), rigidBodyBox);
    overrideBox = CreateOverrideBox();
    AddRow(grid, 2, tr("Override Device:"), overrideBox);
    connect(enableBox, &QCheckBox::stateChanged, this, &cMainWindow::UpdateEnabledState);
    return group;
}

void cMainWindow::SetOpenvrStatus(bool initialized) {
    mStatusLabel->setText(initialized ? tr("Initialized") : tr("<span style='color: #D00'>Not initialized</span>"));
    mRetryButton->setEnabled(!initialized);
}

void cMainWindow::AddOverrideDevice(QString text) { mControllerAOverrideBox->addItem(text); }

void cMainWindow::UpdateEnabledState() {
    mHeadRigidBodyBox->setEnabled(mHeadEnableBox->checkState() == Qt::Checked);
    const bool controllerA = mControllerAEnableBox->checkState() == Qt::Checked;
    mControllerARigidBodyBox->setEnabled(controllerA);
    mControllerAOverrideBox->setEnabled(controllerA);
    const bool controllerB = mControllerBEnableBox->checkState() == Qt::Checked;
    mControllerBRigidBodyBox->setEnabled(controllerB);
    mControllerBOverrideBox->setEnabled(controllerB);
}
