#pragma once
// DeviceWatcher: tells the frame when the player may have been plugged in or
// pulled out, so that the panes reconnect without any action of the user.
//
// Three sources, any of which is enough:
//  - libusb hot-plug events (every USB arrival and removal, like the system's
//    device-change message the program always reacted to), read through
//    libusb's poll descriptors on the program's own event loop;
//  - the emulated player's socket (ZVC450_VUSB) appearing, disappearing or
//    being replaced by a new player, seen through its folder;
//  - a poll of the library's connection test every two seconds, which also
//    catches what the others cannot see (a player killed without removing its
//    socket, a system without hot-plug support).
// Bursts of events are folded into one deviceChanged() a moment later.

#include <QObject>
#include <QString>

#include <memory>

class QTimer;

class HDeviceWatcher : public QObject
{
    Q_OBJECT
public:
    explicit HDeviceWatcher(QObject *parent = nullptr);
    ~HDeviceWatcher() override;

    // Starts watching; the player's presence now is what the poll compares
    // against.
    void start();
    void stop();
    // After a reconnect: takes the player's presence and socket as they are
    // now, so that only later changes count.
    void resync();

    // Milliseconds between two connection tests (default 2000).
    void setPollInterval(int ms);
    bool hasUsbHotplug() const;

signals:
    void deviceChanged();

private:
    void noteChange();
    void poll();
    void checkSocket();
    QString socketSignature() const;

    struct Usb;
    std::unique_ptr<Usb> m_usb;
    QTimer *m_poll = nullptr;
    QTimer *m_settle = nullptr;
    class QFileSystemWatcher *m_fsWatcher = nullptr;
    QString m_socketPath;
    QString m_socketSig;
    bool m_present = false;
    bool m_running = false;
};
