// The README's pictures of the utility: connected to a running runtime, it shows the
// live status, then walks the calibration wizard as a user would, saving a picture
// of the window at each step into OUT_DIR. Ends by itself (exit 0 once every
// picture is saved, 1 when a step does not come).
#include "Application.h"
#include "CalibrationWizard.h"
#include "MainWindow.h"
#include "StatusPanel.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Events until `done` or `seconds` pass.
bool WaitFor(const std::function<bool()>& done, double seconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < seconds * 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

bool Save(QWidget* widget, const QDir& folder, const char* name) {
    WaitFor([] { return false; }, 0.3);  // a last repaint
    const QString path = folder.filePath(name);
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("screenshots: %s\n", qPrintable(path));
    return true;
}

int Fail(const char* step) {
    std::fprintf(stderr, "screenshots: %s did not come\n", step);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: configutil_screenshots OUT_DIR RECORD_SECONDS\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const int seconds = std::atoi(argv[2]);
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    cApplication application(appArgc, appArgv);
    application.SetCalibrationSeconds(seconds);
    cMainWindow* window = application.MainWindow();
    cStatusPanel* panel = window->StatusPanel();
    if (!application.IsOpenvrInitialized()) return Fail("the runtime connection");
    if (!WaitFor([&] { return panel->DeviceLabel(0)->text().startsWith("tracking"); }, 20.0))
        return Fail("a tracked head");
    WaitFor([] { return false; }, 1.5);  // a frame rate over a full second
    if (!Save(window, folder, "configutil.png")) return 1;

    panel->CalibrateButton()->click();
    cCalibrationWizard* wizard = application.CalibrationWizard();
    if (!wizard || !WaitFor([&] { return wizard->isVisible(); }, 5.0)) return Fail("the wizard");
    if (!Save(wizard, folder, "calibration-1-prepare.png")) return 1;
    wizard->button(QWizard::NextButton)->click();
    if (!WaitFor([&] { return wizard->currentId() == cCalibrationWizard::kMotion; }, 5.0))
        return Fail(qPrintable("the recording (" + wizard->ErrorText() + ")"));
    QProgressBar* progress = wizard->ProgressBar();
    if (!WaitFor([&] { return progress->value() > progress->maximum() / 3; }, seconds + 5.0))
        return Fail("the countdown");
    if (!Save(wizard, folder, "calibration-2-record.png")) return 1;
    if (!WaitFor([&] { return wizard->currentId() == cCalibrationWizard::kResult; }, seconds + 60.0))
        return Fail(qPrintable("the result (" + wizard->ErrorText() + ")"));
    if (!Save(wizard, folder, "calibration-3-result.png")) return 1;
    QPointer<cCalibrationWizard> closing(wizard);
    wizard->button(QWizard::FinishButton)->click();
    if (!WaitFor([&] { return !closing || !closing->isVisible(); }, 10.0)) return Fail("the apply");
    if (!WaitFor([&] { return panel->CalibrationLabel(0)->text().startsWith("Calibration: rotation"); }, 10.0))
        return Fail("the calibration in force");
    WaitFor([] { return false; }, 1.0);
    if (!Save(window, folder, "calibration-4-applied.png")) return 1;
    return 0;
}
