#include "app/Startup.h"

int main(int argc, char** argv) {
    return vornic::runClient(argc, argv);
}
