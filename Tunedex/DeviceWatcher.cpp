#include "DeviceWatcher.h"

#include "Commands.h"

#include "zvs450.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <libusb.h>

#include <poll.h>
#include <sys/stat.h>

#include <vector>

namespace {
// Events that arrive together (a hub with several devices, a player that
// re-enumerates after its reset) become one reconnect.
constexpr int kSettleMs = 300;
constexpr int kDefaultPollMs = 2000;
} // namespace

// libusb's hot-plug machinery on the program's event loop: its descriptors are
// watched with socket notifiers and its events handled without waiting.
struct HDeviceWatcher::Usb {
    libusb_context *ctx = nullptr;
    libusb_hotplug_callback_handle handle = 0;
    bool registered = false;
    std::vector<QSocketNotifier *> notifiers;

    ~Usb()
    {
        for (QSocketNotifier *n : notifiers)
            delete n;
        if (registered)
            libusb_hotplug_deregister_callback(ctx, handle);
        if (ctx)
            libusb_exit(ctx);
    }

    static int LIBUSB_CALL onHotplug(libusb_context *, libusb_device *, libusb_hotplug_event, void *user)
    {
        static_cast<HDeviceWatcher *>(user)->noteChange();
        return 0;  // stay registered
    }

    void handleEvents()
    {
        timeval zero{0, 0};
        libusb_handle_events_timeout_completed(ctx, &zero, nullptr);
    }

    bool start(HDeviceWatcher *owner)
    {
        if (libusb_init(&ctx) != 0) {
            ctx = nullptr;
            return false;
        }
        if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
            return false;
        const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
        if (libusb_hotplug_register_callback(ctx, libusb_hotplug_event(events), libusb_hotplug_flag(0),
                                             LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                             LIBUSB_HOTPLUG_MATCH_ANY, &Usb::onHotplug, owner, &handle)
            != LIBUSB_SUCCESS)
            return false;
        registered = true;
        const libusb_pollfd **fds = libusb_get_pollfds(ctx);
        if (!fds)
            return false;
        for (const libusb_pollfd **p = fds; *p; ++p) {
            const bool write = ((*p)->events & POLLOUT) != 0;
            auto *n = new QSocketNotifier((*p)->fd, write ? QSocketNotifier::Write : QSocketNotifier::Read);
            QObject::connect(n, &QSocketNotifier::activated, owner, [this] { handleEvents(); });
            notifiers.push_back(n);
        }
        libusb_free_pollfds(fds);
        return true;
    }
};

HDeviceWatcher::HDeviceWatcher(QObject *parent) : QObject(parent)
{
    m_poll = new QTimer(this);
    m_poll->setInterval(kDefaultPollMs);
    connect(m_poll, &QTimer::timeout, this, &HDeviceWatcher::poll);
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &HDeviceWatcher::deviceChanged);
}

HDeviceWatcher::~HDeviceWatcher()
{
    stop();
}

void HDeviceWatcher::start()
{
    if (m_running)
        return;
    m_running = true;
    zvs450_TestConnection(&m_present);

    m_usb = std::make_unique<Usb>();
    if (!m_usb->start(this))
        m_usb.reset();

    m_socketPath = zvs450_EmulatedPlayerSocket();
    if (!m_socketPath.isEmpty()) {
        m_socketSig = socketSignature();
        m_fsWatcher = new QFileSystemWatcher(this);
        const QString folder = QFileInfo(m_socketPath).absolutePath();
        if (QFileInfo(folder).isDir())
            m_fsWatcher->addPath(folder);
        connect(m_fsWatcher, &QFileSystemWatcher::directoryChanged, this, &HDeviceWatcher::checkSocket);
    }
    m_poll->start();
}

void HDeviceWatcher::stop()
{
    m_running = false;
    m_poll->stop();
    m_settle->stop();
    m_usb.reset();
    delete m_fsWatcher;
    m_fsWatcher = nullptr;
}

void HDeviceWatcher::resync()
{
    zvs450_TestConnection(&m_present);
    m_socketSig = socketSignature();
}

void HDeviceWatcher::setPollInterval(int ms)
{
    m_poll->setInterval(ms);
}

bool HDeviceWatcher::hasUsbHotplug() const
{
    return m_usb != nullptr;
}

void HDeviceWatcher::noteChange()
{
    if (m_running)
        m_settle->start();
}

// The socket's identity: a player that stops removes it, a new one binds a
// new socket file (another inode) at the same path.
QString HDeviceWatcher::socketSignature() const
{
    if (m_socketPath.isEmpty())
        return QString();
    struct stat st {};
    if (::stat(QFile::encodeName(m_socketPath).constData(), &st) != 0)
        return QStringLiteral("-");
    return QStringLiteral("%1:%2:%3").arg(st.st_dev).arg(st.st_ino).arg(qlonglong(st.st_ctime));
}

void HDeviceWatcher::checkSocket()
{
    const QString sig = socketSignature();
    if (sig != m_socketSig) {
        m_socketSig = sig;
        noteChange();
    }
}

void HDeviceWatcher::poll()
{
    checkSocket();
    // Not while a device operation runs: the next tick asks again.
    if (HDeviceBusy::active())
        return;
    // The settle timer is already running for a change seen above.
    if (m_settle->isActive())
        return;
    bool present = m_present;
    if (!zvs450_TestConnection(&present))
        return;
    if (present != m_present) {
        m_present = present;
        noteChange();
    }
}
