// A QApplication when the test display is up, a QCoreApplication otherwise.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <string>
#include <vector>

// Keeps Mesa's DRI driver mapped: unloaded, its allocations reach LeakSanitizer from no module.
static void pinGlDriver()
{
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "/dri/"))
                static_cast<std::vector<std::string> *>(data)->push_back(info->dlpi_name);
            return 0;
        },
        &drivers);
    for (const std::string &path : drivers)
        dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (std::getenv("DISPLAY"))
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const int result = RUN_ALL_TESTS();
    pinGlDriver();
    return result;
}
