// The utility's one window: runtime status, the driver's live status, the driver's
// settings as widgets, and buttons that only emit signals. cApplication loads and saves by reading and
// setting the widgets directly.
#pragma once

#include <QMainWindow>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class cStatusPanel;

class cMainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit cMainWindow(QWidget* parent = nullptr);

    void SetOpenvrStatus(bool initialized);
    // Appends an override target to the controllers' shared list.
    void AddOverrideDevice(QString text);

    QLabel* StatusLabel() const { return mStatusLabel; }
    cStatusPanel* StatusPanel() const { return mStatusPanel; }
    QPushButton* RetryButton() const { return mRetryButton; }
    QComboBox* ConnectionTypeBox() const { return mConnectionTypeBox; }
    QLineEdit* ServerAddressField() const { return mServerAddressField; }
    QLineEdit* LocalAddressField() const { return mLocalAddressField; }
    QComboBox* TrackingTypeBox() const { return mTrackingTypeBox; }
    QCheckBox* HeadEnableBox() const { return mHeadEnableBox; }
    QSpinBox* HeadRigidBodyBox() const { return mHeadRigidBodyBox; }
    QComboBox* HeadOverrideBox() const { return mHeadOverrideBox; }
    QCheckBox* ControllerAEnableBox() const { return mControllerAEnableBox; }
    QSpinBox* ControllerARigidBodyBox() const { return mControllerARigidBodyBox; }
    QComboBox* ControllerAOverrideBox() const { return mControllerAOverrideBox; }
    QCheckBox* ControllerBEnableBox() const { return mControllerBEnableBox; }
    QSpinBox* ControllerBRigidBodyBox() const { return mControllerBRigidBodyBox; }
    QComboBox* ControllerBOverrideBox() const { return mControllerBOverrideBox; }
    QPushButton* LoadButton() const { return mLoadButton; }
    QPushButton* SaveButton() const { return mSaveButton; }

signals:
    void RetryInitClicked();
    void LoadClicked();
    void SaveClicked();

public slots:
    void UpdateEnabledState();

private:
    QWidget* CreateStatusGroup();
    QWidget* CreateConnectionGroup();
    QWidget* CreateHeadGroup();
    // One controller's group; its widgets are returned through the out-parameters.
    QWidget* CreateControllerGroup(const QString& title, QCheckBox*& enableBox, QSpinBox*& rigidBodyBox,
                                   QComboBox*& overrideBox);

    QLabel* mStatusLabel = nullptr;
    cStatusPanel* mStatusPanel = nullptr;
    QPushButton* mRetryButton = nullptr;
    QComboBox* mConnectionTypeBox = nullptr;
    QLineEdit* mServerAddressField = nullptr;
    QLineEdit* mLocalAddressField = nullptr;
    QComboBox* mTrackingTypeBox = nullptr;
    QCheckBox* mHeadEnableBox = nullptr;
    QSpinBox* mHeadRigidBodyBox = nullptr;
    QComboBox* mHeadOverrideBox = nullptr;
    QCheckBox* mControllerAEnableBox = nullptr;
    QSpinBox* mControllerARigidBodyBox = nullptr;
    QComboBox* mControllerAOverrideBox = nullptr;
    QCheckBox* mControllerBEnableBox = nullptr;
    QSpinBox* mControllerBRigidBodyBox = nullptr;
    QComboBox* mControllerBOverrideBox = nullptr;
    QPushButton* mLoadButton = nullptr;
    QPushButton* mSaveButton = nullptr;
};
