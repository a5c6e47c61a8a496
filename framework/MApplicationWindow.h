// SPDX-License-Identifier: MIT
#ifndef MAPPLICATIONWINDOW_H
#define MAPPLICATIONWINDOW_H

#include "MApplicationPage.h"

#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QPointer>

#include <functional>

class MDialog;
class QLabel;
class QPushButton;

// The application's one window: a handset-sized view (854 x 480) that shows one page at a time
// under a bar with the page's title and its escape button, and dialogs over the page. Pages
// taller than the screen scroll vertically. It keeps the pages it has shown and their order; a
// page or dialog comes and goes by its own appear() and disappear(), which ask the window.
class MApplicationWindow : public QGraphicsView
{
    Q_OBJECT
public:
    explicit MApplicationWindow(QWidget *parent = nullptr);
    ~MApplicationWindow() override;

    MApplicationPage *currentPage() const { return m_page; }
    // The dialog on top, or null.
    MDialog *topDialog() const;
    // The escape button of the bar ("Back" or "Close").
    QPushButton *escapeButton() const { return m_escape; }
    QString barTitle() const;
    // The bar over the page: the escape button and the title.
    QWidget *titleBar() const { return m_bar; }
    // The page shown, then the dialogs over it from the lowest.
    QList<MSceneWindow *> sceneWindows() const;
    // Asked when the escape button (or Esc) would close the window: a question to confirm
    // (the window then closes on OK only), or nothing to close at once.
    void setCloseQuestion(std::function<QString()> question) { m_closeQuestion = std::move(question); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Puts a page into the scene, hidden, before its content is made.
    void adopt(MSceneWindow *window);
    // Takes a scene window's request, if it is for this window (see MSceneWindowRequest).
    bool takeRequest(QEvent *event);
    // Shows a page in place of the current one, which waits in the history, or a dialog over the
    // page. A page's content is made before its first showing.
    void appearSceneWindow(MSceneWindow *window);
    // Takes a page or dialog off; the page shown before a page comes back.
    void disappearSceneWindow(MSceneWindow *window);
    void showPage(MApplicationPage *page);
    void showOverlay(MSceneWindow *overlay);
    void fitPage();
    void fitOverlays();
    void updateBar();
    // What Tab walks through, in reading order: the top dialog's controls; or the bar's escape
    // button (a null entry stands for it) and the page's controls.
    QList<QGraphicsItem *> tabChain() const;
    // Moves the keys to the next (or previous) stop of the chain, round from the last to the
    // first, and scrolls the page to it.
    void tabTo(bool next);
    // Gives `item` the keys, and scrolls the page to it with `scroll`.
    void giveFocus(QGraphicsItem *item, Qt::FocusReason reason, bool scroll = true);
    // Whether the keys that `object` receives are this window's to steer.
    bool steersKeysOf(QObject *object) const;
    // Gives the keys to the page's first control in reading order.
    void focusFirst();
    void escapeClicked();
    void detach(MSceneWindow *window);

    QGraphicsScene *m_scene;
    QWidget *m_bar;
    QLabel *m_title;
    QPushButton *m_escape;
    QPointer<MApplicationPage> m_page;
    QList<QPointer<MApplicationPage>> m_history;
    QList<QPointer<MApplicationPage>> m_pages; // every page added to the scene
    QList<QPointer<MSceneWindow>> m_overlays;
    bool m_escapeClosedList = false; // the last key pressed was Esc, with a list open
    std::function<QString()> m_closeQuestion;
    // Where each page was scrolled when another was shown over it, restored when it is back.
    QHash<const QObject *, int> m_scrolled;
    int m_wantedScroll = 0; // to restore once the page has its height
    bool m_asking = false; // the question whether to close is on its way or open
};

#endif
