#pragma once

#include "chatlog/ChatLogTypesUnit.h"
#include "text/widgets/RichDialogsUnit.h"

#include <QWidget>

class QListView;
class QMenu;
class QTabBar;
class TChatLog;
class TLogListModel;
class TNewMsgForm;

// The message window's history panel (pnlList): the log records of the
// window's conversation or of a whole category, read off the GUI thread; a
// double click puts an old message into the input of a compose window.
class THistoryPanel : public QWidget {
    Q_OBJECT
public:
    // Tabs of tsLogType, in order.
    enum TTab { tabRelated, tabAllSingle, tabBroadcast, tabGroup };

    THistoryPanel(TNewMsgForm& form, TChatLog& log, QWidget* parent = nullptr);
    ~THistoryPanel() override;

    // Height the window grows by when the panel is shown.
    int PanelHeight() const;
    // The least height that shows two whole entries and the tabs: the
    // panel never opens lower than that, whatever height was stored.
    int UsableHeight() const;
    // The panel was shown: the first tab for the window's kind is chosen, or
    // the records newer than the listed ones are added on top.
    void Opened();
    // Chooses a tab; false when the window's kind refuses it.
    bool SelectTab(int tab);
    // -1 until a tab is chosen.
    int CurrentTab() const { return FTab; }
    static TLogType CategoryOf(int tab);

    // The commands of ListPopup and the list.
    void RefreshExecute();
    void DeleteSelectedExecute();
    void DeleteAllExecute();
    void ExportExecute();
    void InsertEntry(int row);
    // Releases the listed entries (the window closes).
    void Release();

    QListView* List() const { return FList; }
    QTabBar* Tabs() const { return FTabs; }
    QMenu* Popup() const { return FPopup; }
    TLogListModel& Model() const { return *FModel; }

    void SetMessageBox(TMessageBox messageBox) { FMessageBox = std::move(messageBox); }
    void SetFileDialog(TFileDialog dialog) { FFileDialog = std::move(dialog); }

signals:
    // A history entry's content was put into the input.
    void EntryInserted();

private:
    // The computer (and address) the related tab and deletions are about;
    // empty for a broadcast window and for several recipients.
    QString PeerComputer() const;
    QString PeerIP() const;
    TLogFilter ListFilter() const;
    TLogFilter CategoryFilter() const;
    bool Ask(const QString& text);
    void UpdatePopup();

    TNewMsgForm& FForm;
    TChatLog& FLog;
    TLogListModel* FModel = nullptr;
    QListView* FList = nullptr;
    QTabBar* FTabs = nullptr;
    QMenu* FPopup = nullptr;
    TMessageBox FMessageBox;
    TFileDialog FFileDialog;
    int FTab = -1;
    quint64 FContentTicket = 0;
    quint64 FDeleteAllTicket = 0;
};
