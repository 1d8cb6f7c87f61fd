#pragma once
// The program's application object and main window.
//
// CTunedexApp starts and ends the program in a fixed order around the
// settings and the device session; CMainFrame is the window: the menus and
// accelerators of the command table, the tool bar band with the file-filter
// box, the client view with the two panes, and the status bar with the lock
// key indicators and the player's firmware text. It reconnects the panes when
// the player comes or goes.

#include "Commands.h"

#include <QApplication>
#include <QHash>
#include <QMainWindow>
#include <QPointer>

class CChildView;
class HDeviceWatcher;
class HFileFilterBox;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public cmd::HCommandTarget
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget *parent = nullptr);
    ~CMainFrame() override;

    // Builds the window (client view, tool bar band, status bar), then
    // connects the panes to the player and starts watching for it. False when
    // a part could not be made.
    bool create();

    CChildView *childView() const { return m_child; }
    QToolBar *reBar() const { return m_reBar; }
    HFileFilterBox *filterBox() const { return m_filter; }
    QLabel *firmwarePane() const { return m_firmwarePane; }
    QLabel *indicatorPane(int index) const;  // 0 CAP, 1 NUM, 2 SCRL
    HDeviceWatcher *deviceWatcher() const { return m_watcher; }

    // Every action of a command (the two entries of Tool > Medium Information
    // share one number); the first of them.
    QList<QAction *> actionsFor(int id) const { return m_actions.value(id); }
    QAction *actionFor(int id) const;
    // A top-level menu by its text without "&" ("File", "Tool", ...).
    QMenu *menuNamed(const QString &text) const;

    // Evaluates the enabling rule of every command through the routing, the
    // transfer buttons' rules and the status panes. Runs when a menu opens and
    // when the program is idle.
    void updateCommandStates();
    // The state of a command as the routing finds it: the focused pane, the
    // client view, the frame; a command nobody takes is disabled.
    cmd::CommandState commandStateOf(int id);
    // Runs a command through the same routing, if it is enabled.
    void executeCommand(int id);

    // Shows the frame with a stored window state (3 maximised, 2/6/7
    // minimised, anything else normal), and the state to store for the frame
    // as it is now.
    void showWithState(int showState);
    int placementShowState() const;
    // Size, place and pane divider as the user left them, read before the frame
    // is shown and written when it closes.
    void restoreWindowState();
    void saveWindowState();

    // The frame's own commands: Exit, Option, the bars, About.
    bool commandState(int id, cmd::CommandState *state) override;
    bool runCommand(int id) override;

    // The application's icon, as drawn for the window.
    static QIcon appIcon();

public slots:
    // The player may have come or gone: connect again (later when a device
    // operation or a dialog is running).
    void onDeviceChanged();

protected:
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void createMenus();
    void createReBar();
    void createStatusBar();
    // Whether any target of the routing has a handler for a command.
    bool hasHandler(int id);
    void scheduleIdleUpdate();
    void updateStatusPanes();
    void onFilterChanged(const QString &filter);
    QAction *makeAction(int id, const QString &text);
    QSize defaultSize() const;

    CChildView *m_child = nullptr;
    QToolBar *m_reBar = nullptr;
    HFileFilterBox *m_filter = nullptr;
    QLabel *m_messagePane = nullptr;
    QLabel *m_indicators[3] = {};
    QLabel *m_firmwarePane = nullptr;
    HDeviceWatcher *m_watcher = nullptr;
    QHash<int, QList<QAction *>> m_actions;
    QList<QMenu *> m_menus;
    QTimer *m_idleTimer = nullptr;
    bool m_idlePending = false;
    bool m_reconnectPending = false;
    bool m_windowStateSaved = false;
};

// The application object. Besides the start and the end of the program it
// counts how deeply events are nested (HDeviceBusy): device commands and the
// device watcher's reconnect run only from the top of the event loop, never
// from inside a library operation's progress window or a dialog.
class CTunedexApp : public QApplication
{
    Q_OBJECT
public:
    CTunedexApp(int &argc, char **argv);
    ~CTunedexApp() override;

    // Counts the nesting of events for HDeviceBusy.
    bool notify(QObject *receiver, QEvent *e) override;

    // Start: settings, device session, main frame, shown in its stored state.
    bool initInstance();
    // End: the frame (which stores its window state) goes first, then the
    // session, then the folder and filter of the desktop pane are stored.
    int exitInstance(int code);

    CMainFrame *mainFrame() const { return m_frame; }

private:
    QPointer<CMainFrame> m_frame;
};
