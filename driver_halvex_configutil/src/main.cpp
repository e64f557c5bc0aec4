#include "Application.h"
#include "QuitOnSignal.h"

int main(int argc, char** argv) {
    cApplication application(argc, argv);
    QuitOnTerminationSignals(&application);
    return application.exec();
}
