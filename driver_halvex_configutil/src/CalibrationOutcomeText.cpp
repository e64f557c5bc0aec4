#include "CalibrationOutcomeText.h"

#include <QCoreApplication>

namespace {

QString Tr(const char* text) { return QCoreApplication::translate("CalibrationOutcome", text); }

QString Triple(const Eigen::Vector3d& v, int decimals) {
    return QString("%1, %2, %3")
        .arg(v.x(), 0, 'f', decimals)
        .arg(v.y(), 0, 'f', decimals)
        .arg(v.z(), 0, 'f', decimals);
}

}  // namespace

QString CalibrationSlotName(const std::string& slot) {
    if (slot == "Head") return Tr("HMD");
    if (slot == "ControllerA") return Tr("Controller A");
    if (slot == "ControllerB") return Tr("Controller B");
    return QString::fromStdString(slot);
}

QString CalibrationOutcomeText(const halvex::calibrate::sDeviceOutcome& o) {
    const QString name = CalibrationSlotName(o.device->slot);
    const halvex::calibration::sCalibrationResult& r = o.result;
    if (!r.ok) {
        return Tr("<b>%1</b>: not calibrated: %2. Go Back and record again.")
            .arg(name, QString::fromStdString(r.refusal).toHtmlEscaped());
    }
    const halvex::calibration::sCalibrationValues& v = r.value;
    const halvex::calibration::sCalibrationValues& se = r.standardError;
    if (r.orientationOnly) {
        return Tr("<b>%1</b>: rigid body rotation %2\u00B0 (\u00B1%3), optical time offset %4 ms (\u00B1%5). The "
                  "headset gives its orientation only: the rigid body's position is not estimated and is saved as "
                  "0 mm, and there is no IMU to correct.<br>Quality: gyroscope misfit %6 \u2192 %7 rad/s over %8 s.")
            .arg(name, Triple(v.rotationDeg, 2), QString::number(se.rotationDeg.maxCoeff(), 'f', 2),
                 QString::number(v.opticalTimeOffsetMs, 'f', 1), QString::number(se.opticalTimeOffsetMs, 'f', 1),
                 QString::number(r.gyroResidualBefore, 'f', 3), QString::number(r.gyroResidualAfter, 'f', 3),
                 QString::number(r.seconds, 'f', 0));
    }
    return Tr("<b>%1</b>: rigid body rotation %2\u00B0 (\u00B1%3), position %4 mm (\u00B1%5), optical time "
              "offset %6 ms (\u00B1%7).<br>Quality: gyroscope misfit %8 \u2192 %9 rad/s, accelerometer "
              "%10 \u2192 %11 m/s\u00B2 over %12 s.")
        .arg(name, Triple(v.rotationDeg, 2), QString::number(se.rotationDeg.maxCoeff(), 'f', 2),
             Triple(v.translationMm, 1), QString::number(se.translationMm.maxCoeff(), 'f', 1),
             QString::number(v.opticalTimeOffsetMs, 'f', 1), QString::number(se.opticalTimeOffsetMs, 'f', 1),
             QString::number(r.gyroResidualBefore, 'f', 3), QString::number(r.gyroResidualAfter, 'f', 3))
        .arg(QString::number(r.accelResidualBefore, 'f', 3), QString::number(r.accelResidualAfter, 'f', 3),
             QString::number(r.seconds, 'f', 0));
}
