// qt_bridge.cpp - the core's side of the Qt module (see qt_interface.h).
//
// The module is looked for once per process, on the first window, pump or
// error box: only when Qt Widgets is already loaded (a Qt program) and then
// in the folder zvc450usb/ next to this library (a plugin has no place in the
// linker's own folders).  Without it every window falls back to the terminal.

#include "progress.h"
#include "qt_interface.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

// Defined when the module's objects are linked into the program itself (the
// static test archive); in the shared library it stays null.
extern "C" __attribute__((weak, visibility("hidden"))) const zvc450qt_Table *zvc450qt_Interface(void);

namespace zvc450 {
namespace detail {
namespace {

constexpr const char *kModuleName = "zvc450usb/libzvc450usb-qt.so";
constexpr const char *kWidgetsLibrary = "libQt6Widgets.so.6";

static_assert(int(WindowKind::Transfer) == kZvc450QtTransfer && int(WindowKind::Deleting) == kZvc450QtDeleting &&
                  int(WindowKind::Format) == kZvc450QtFormat,
              "window kinds of the Qt module");
static_assert(int(ProgressWindow::Caption) == kZvc450QtCaption && int(ProgressWindow::Index) == kZvc450QtIndex &&
                  int(ProgressWindow::Status) == kZvc450QtStatus &&
                  int(ProgressWindow::Percentage) == kZvc450QtPercentage &&
                  int(ProgressWindow::Speed) == kZvc450QtSpeed,
              "text fields of the Qt module");

const zvc450qt_Table *Accept(const zvc450qt_Table *table) {
    return table != nullptr && table->size >= sizeof(zvc450qt_Table) ? table : nullptr;
}

// The module in the folder of the object this function is in.
std::string ModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&ModulePath), &info) == 0 || info.dli_fname == nullptr)
        return kModuleName;
    const std::string self = info.dli_fname;
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string(kModuleName) : self.substr(0, slash + 1) + kModuleName;
}

const zvc450qt_Table *LoadTable() {
    if (zvc450qt_Interface != nullptr)
        return Accept(zvc450qt_Interface());
    // A process without Qt Widgets cannot have a QApplication: no module.
    void *widgets = dlopen(kWidgetsLibrary, RTLD_NOW | RTLD_NOLOAD);
    if (widgets == nullptr)
        return nullptr;
    dlclose(widgets);
    const std::string path = ModulePath();
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char *why = dlerror();
        std::fprintf(stderr, "libzvc450usb: no Qt windows: %s\n", why != nullptr ? why : path.c_str());
        return nullptr;
    }
    using InterfaceFn = const zvc450qt_Table *(*)();
    auto fn = reinterpret_cast<InterfaceFn>(dlsym(module, "zvc450qt_Interface"));
    const zvc450qt_Table *table = fn != nullptr ? Accept(fn()) : nullptr;
    if (table == nullptr) {
        std::fprintf(stderr, "libzvc450usb: no Qt windows: %s does not fit this library\n", path.c_str());
        dlclose(module);
    }
    return table;  // the module stays loaded for the rest of the process
}

const zvc450qt_Table *QtTable() {
    static const zvc450qt_Table *const table = LoadTable();
    return table;
}

// A library window drawn by the module.
class QtProxyWindow final : public ProgressWindow {
public:
    QtProxyWindow(const zvc450qt_Table *table, WindowKind kind, ProgressRecord *rec, const std::string &caption,
                  const std::string &index, const std::string &status)
        : ProgressWindow(rec), table_(table) {
        InitText(Caption, caption);
        InitText(Index, index);
        InitText(Status, status);
        if (kind == WindowKind::Transfer) {
            InitText(Percentage, " 0 %");
            InitText(Speed, "Speed");
        }
    }
    ~QtProxyWindow() override {
        if (window_ != nullptr)
            table_->destroyWindow(window_);
    }
    void Attach(void *window) { window_ = window; }
    bool Attached() const { return window_ != nullptr; }

protected:
    void ShowText(Field field, const std::string &text) override {
        table_->setText(window_, static_cast<int>(field), text.c_str());
    }
    void ShowBar() override { table_->setBar(window_, BarMinimum(), BarMaximum(), BarPosition()); }

private:
    const zvc450qt_Table *table_;
    void *window_ = nullptr;
};

}  // namespace

ProgressWindow *CreateQtWindow(WindowKind kind, void *owner, ProgressRecord *rec, const std::string &caption,
                               const std::string &index, const std::string &status) {
    const zvc450qt_Table *table = QtTable();
    if (table == nullptr)
        return nullptr;
    auto *proxy = new QtProxyWindow(table, kind, rec, caption, index, status);
    proxy->Attach(table->createWindow(static_cast<int>(kind), owner, rec != nullptr ? &rec->flags : nullptr,
                                      kProgressCancelled, caption.c_str(), index.c_str(), status.c_str()));
    if (!proxy->Attached()) {  // no QApplication
        delete proxy;
        return nullptr;
    }
    return proxy;
}

bool QtPumpEvents() {
    const zvc450qt_Table *table = QtTable();
    return table != nullptr && table->pumpEvents() != 0;
}

bool QtErrorBox(void *owner, const std::string &text, const std::string &detail) {
    const zvc450qt_Table *table = QtTable();
    if (table == nullptr)
        return false;
    if (detail.empty())
        return table->showErrorBox(owner, text.c_str()) != 0;
    return table->showErrorBoxDetail(owner, text.c_str(), detail.c_str()) != 0;
}

}  // namespace detail
}  // namespace zvc450
