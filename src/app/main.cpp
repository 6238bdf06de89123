#include "app/TessikIOSApp.h"

int main(int argc, char* argv[]) {
    return tessik::TessikIOSApp::main(argc, argv);
}
