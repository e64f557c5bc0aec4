#include "Application.h"

int main(int argc, char** argv) {
    cApplication application(argc, argv);
    return application.exec();
}
