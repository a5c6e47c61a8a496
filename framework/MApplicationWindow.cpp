// SPDX-License-Identifier: MIT
#include "MApplicationWindow.h"

#include "MAccessible.h"

#include "MComboBox.h"

#include "MApplicationPage.h"
#include "MButton.h"
#include "MDialog.h"
#include "MMessageBox.h"
#include "MWidgetController.h"

#include <QAbstractButton>
#include <QGraphicsProxyWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

namespace {
constexpr int BarHeight = 48;
}

MApplicationWindow::MApplicationWindow(QWidget *parent)
    : QGraphicsView(parent)
    , m_scene(new QGraphicsScene(this))
    , m_bar(new QWidget(this))
    , m_title(new QLabel(m_bar))
    , m_escape(new QPushButton(m_bar))
{
    setScene(m_scene);
    setWindowTitle(QCoreApplication::applicationName());
    qApp->installEventFilter(this);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A page narrower than its content (a small or scaled screen) scrolls sideways: no column is
    // out of reach.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(0, BarHeight, 0, 0);
    // The scroll bar starts below the title bar, beside the page it scrolls.
    auto *underBar = new QWidget;
    underBar->setFixedHeight(BarHeight);
    addScrollBarWidget(underBar, Qt::AlignTop);
    setObjectName(QStringLiteral("ApplicationWindow"));

    m_bar->setObjectName(QStringLiteral("TitleBar"));
    m_bar->setAttribute(Qt::WA_StyledBackground);
    auto *barLayout = new QHBoxLayout(m_bar);
    barLayout->setContentsMargins(8, 4, 8, 4);
    m_escape->setObjectName(QStringLiteral("EscapeButton"));
    // Reached with Tab (the window steers it, see tabTo), not taken from the page by a click;
    // Return presses it as Space does.
    m_escape->setFocusPolicy(Qt::TabFocus);
    m_escape->setAutoDefault(true);
    m_escape->setMinimumWidth(80);
    m_title->setObjectName(QStringLiteral("TitleLabel"));
    m_title->setTextFormat(Qt::PlainText);
    barLayout->addWidget(m_escape);
    barLayout->addWidget(m_title, 1);
    connect(m_escape, &QPushButton::clicked, this, &MApplicationWindow::escapeClicked);
    // The keys start on the page, not on the bar's button (the first widget in Qt's own order).
    setFocus();

    // The handset's size, or what the screen has room for (a scaled desktop may have less).
    QSize room = screen() ? screen()->availableGeometry().size() : QSize();
    if (room.isEmpty() && screen())
        room = screen()->geometry().size();
    resize(room.isEmpty() ? QSize(854, 480) : QSize(854, 480).boundedTo(room));
    updateBar();
}

MApplicationWindow::~MApplicationWindow()
{
    // Pages and dialogs belong to the application, not to the scene: take them out before the
    // scene would delete them.
    for (const QPointer<MSceneWindow> &overlay : std::as_const(m_overlays)) {
        if (overlay)
            m_scene->removeItem(overlay);
    }
    for (const QPointer<MApplicationPage> &page : std::as_const(m_pages)) {
        if (page && page->scene() == m_scene)
            m_scene->removeItem(page);
    }
}

MDialog *MApplicationWindow::topDialog() const
{
    for (auto it = m_overlays.crbegin(); it != m_overlays.crend(); ++it) {
        if (auto *dialog = qobject_cast<MDialog *>(it->data()))
            return dialog;
    }
    return nullptr;
}

QList<MSceneWindow *> MApplicationWindow::sceneWindows() const
{
    QList<MSceneWindow *> shown;
    if (m_page)
        shown.append(m_page);
    for (const QPointer<MSceneWindow> &overlay : m_overlays) {
        if (overlay)
            shown.append(overlay);
    }
    return shown;
}

QString MApplicationWindow::barTitle() const
{
    return m_title->text();
}

void MApplicationWindow::adopt(MSceneWindow *window)
{
    auto *page = qobject_cast<MApplicationPage *>(window);
    if (!page || page->scene() == m_scene)
        return;
    page->hide();
    m_scene->addItem(page);
    m_pages.removeAll(nullptr);
    m_pages.append(page);
}

void MApplicationWindow::appearSceneWindow(MSceneWindow *window)
{
    // Into the scene first, then the content: items made inside a scene join it one by one,
    // while a whole tree added at once makes the scene send events to items not yet in it.
    adopt(window);
    window->prepareToAppear();
    if (auto *page = qobject_cast<MApplicationPage *>(window))
        showPage(page);
    else
        showOverlay(window);
}

void MApplicationWindow::disappearSceneWindow(MSceneWindow *window)
{
    if (auto *page = qobject_cast<MApplicationPage *>(window)) {
        m_history.removeAll(page);
        m_history.removeAll(nullptr);
        if (page != m_page)
            return;
        detach(page);
        m_page = nullptr;
        if (!m_history.isEmpty())
            showPage(m_history.takeLast());
        else
            updateBar();
        return;
    }
    if (m_overlays.removeAll(window) > 0) {
        detach(window);
        updateBar();
        if (!topDialog() && m_page)
            focusFirst();
    }
}

void MApplicationWindow::showPage(MApplicationPage *page)
{
    m_history.removeAll(page);
    m_history.removeAll(nullptr);
    m_history.append(page);
    if (page == m_page)
        return;
    if (m_page) {
        m_scrolled.insert(m_page, verticalScrollBar()->value());
        detach(m_page);
    }
    m_page = page;
    // A page stays in the scene once shown, hidden while another one is shown: taking items out
    // of a scene and back again makes the scene send events to items it no longer holds.
    adopt(page);
    page->setPos(0, 0);
    page->show();
    connect(page, &MApplicationPage::titleChanged, this, &MApplicationWindow::updateBar);
    connect(page, &MApplicationPage::escapeModeChanged, this, &MApplicationWindow::updateBar);
    connect(page, &MApplicationPage::contentSizeChanged, this, &MApplicationWindow::fitPage);
    connect(page, &QObject::destroyed, this, [this, page] {
        m_scrolled.remove(page);
        m_page = nullptr;
        m_history.removeAll(nullptr);
        updateBar();
    });
    fitPage();
    m_wantedScroll = page->keepsScrollPosition() ? m_scrolled.value(page, 0) : 0;
    verticalScrollBar()->setValue(m_wantedScroll);
    updateBar();
    // Focus moves to the new page's first control, as Tab would: a control of the page before
    // (hidden now, or the same control showing another transfer) keeps neither the keys nor
    // the wheel it took with a click.
    if (!topDialog())
        focusFirst();
    // A control of a page shown for the first time hands the focus on to its widget only once
    // the showing is done: given once more then.
    QTimer::singleShot(0, this, [this, shown = QPointer<MApplicationPage>(page)] {
        QGraphicsItem *focused = m_scene->focusItem();
        if (shown && shown == m_page && !topDialog() && focused)
            giveFocus(focused, Qt::TabFocusReason, false);
    });
}

QList<QGraphicsItem *> MApplicationWindow::tabChain() const
{
    MDialog *dialog = topDialog();
    QGraphicsItem *root = dialog ? static_cast<QGraphicsItem *>(dialog) : m_page.data();
    QList<QGraphicsItem *> stops;
    QList<QGraphicsItem *> items = root ? root->childItems() : QList<QGraphicsItem *>();
    while (!items.isEmpty()) {
        QGraphicsItem *item = items.takeFirst();
        if (!item->isVisible() || !item->isEnabled())
            continue;
        items += item->childItems();
        if (item->isWidget() && (item->flags() & QGraphicsItem::ItemIsFocusable)
            && (static_cast<QGraphicsWidget *>(item)->focusPolicy() & Qt::TabFocus))
            stops.append(item);
    }
    stops = MAccessible::inReadingOrder(stops);
    // The bar is above the page; under a dialog it takes nothing.
    if (!dialog && m_escape->isEnabled())
        stops.prepend(nullptr);
    return stops;
}

void MApplicationWindow::tabTo(bool next)
{
    const QList<QGraphicsItem *> chain = tabChain();
    if (chain.isEmpty())
        return;
    qsizetype at = -1;
    if (m_escape->hasFocus())
        at = chain.indexOf(nullptr);
    else if (QGraphicsItem *focused = m_scene->focusItem())
        at = chain.indexOf(focused);
    const qsizetype count = chain.size();
    const qsizetype to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    QGraphicsItem *item = chain.at(to);
    if (!item) {
        m_escape->setFocus(reason);
        return;
    }
    setFocus(reason);
    giveFocus(item, reason);
}

void MApplicationWindow::giveFocus(QGraphicsItem *item, Qt::FocusReason reason, bool scroll)
{
    // An item takes the keys once its panel is the active one: a row (a panel, for its own focus
    // chain), or none for the page's controls. A list's drop-down is a panel too, made active
    // when Qt makes it (as soon as assistive technology asks for the list's entries).
    if (m_scene->activePanel() != item->panel())
        m_scene->setActivePanel(item->panel());
    item->setFocus(reason);
    // The proxy passes the focus on to its widget only when the view has it at that moment; the
    // widget itself then stays without (no frame drawn, none told to assistive technology).
    auto *control = qobject_cast<MWidgetController *>(item->isWidget() ? static_cast<QGraphicsWidget *>(item)
                                                                       : nullptr);
    if (control && control->widget() && !control->widget()->focusWidget())
        control->control()->setFocus(reason);
    if (scroll)
        ensureVisible(item, 16, 16);
}

bool MApplicationWindow::steersKeysOf(QObject *object) const
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return false;
    if (widget == this || isAncestorOf(widget))
        return true;
    const QGraphicsProxyWidget *proxy = widget->window()->graphicsProxyWidget();
    return proxy && proxy->scene() == m_scene;
}

void MApplicationWindow::focusFirst()
{
    m_scene->setFocusItem(nullptr);
    // The first control in view: a page shown again where it was scrolled stays there.
    const QRectF shown = mapToScene(viewport()->rect()).boundingRect();
    QGraphicsItem *first = nullptr;
    for (QGraphicsItem *item : tabChain()) {
        if (item && !first)
            first = item;
        if (item && shown.contains(item->sceneBoundingRect())) {
            first = item;
            break;
        }
    }
    if (!first)
        return;
    // From the bar's button (Esc or Return pressed there), the keys come back to the page.
    if (m_escape->hasFocus())
        setFocus(Qt::OtherFocusReason);
    giveFocus(first, Qt::TabFocusReason, false);
}

void MApplicationWindow::showOverlay(MSceneWindow *overlay)
{
    if (m_overlays.contains(overlay))
        return;
    m_overlays.append(overlay);
    m_scene->addItem(overlay);
    overlay->setZValue(1000 + m_overlays.size());
    connect(overlay, &QObject::destroyed, this, [this] {
        m_overlays.removeAll(nullptr);
        updateBar();
    });
    fitOverlays();
    updateBar();
    // A dialog takes the keys: its default button first. The page stays the active panel until
    // told otherwise, and a focus given inside another panel waits for that one to be active.
    if (auto *dialog = qobject_cast<MDialog *>(overlay)) {
        if (MButton *button = dialog->button(dialog->defaultButton()))
            giveFocus(button, Qt::OtherFocusReason, false);
    }
}

void MApplicationWindow::detach(MSceneWindow *window)
{
    disconnect(window, nullptr, this, nullptr);
    if (qobject_cast<MApplicationPage *>(window))
        window->hide();
    else if (window->scene() == m_scene)
        m_scene->removeItem(window);
}

void MApplicationWindow::fitPage()
{
    const QSize area = viewport()->size();
    if (m_page) {
        const qreal width = qMax<qreal>(area.width(), m_page->effectiveSizeHint(Qt::MinimumSize).width());
        const qreal wanted = m_page->effectiveSizeHint(Qt::PreferredSize, QSizeF(width, -1)).height();
        const qreal height = qMax<qreal>(area.height(), wanted);
        if (m_page->geometry() != QRectF(0, 0, width, height))
            m_page->setGeometry(0, 0, width, height);
        setSceneRect(0, 0, width, height);
        // A page laid out only once shown reaches its height after it was shown.
        if (m_wantedScroll > 0) {
            verticalScrollBar()->setValue(m_wantedScroll);
            if (verticalScrollBar()->value() == m_wantedScroll)
                m_wantedScroll = 0;
        }
    } else {
        setSceneRect(0, 0, area.width(), area.height());
    }
    fitOverlays();
}

void MApplicationWindow::fitOverlays()
{
    // Dialogs cover what is visible of the page.
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect();
    for (const QPointer<MSceneWindow> &overlay : std::as_const(m_overlays)) {
        if (overlay)
            overlay->setGeometry(visible);
    }
}

void MApplicationWindow::updateBar()
{
    // Under an open dialog the bar takes no press either: the dialog is answered first (before,
    // Back declined a request and Close dismissed the question whether to close).
    m_escape->setEnabled(!topDialog());
    if (!m_page) {
        m_title->clear();
        m_escape->setText(tr("Close"));
        return;
    }
    m_title->setText(m_page->title());
    const bool closes = m_page->escapeMode() == MApplicationPageModel::EscapeCloseWindow;
    m_escape->setText(closes ? tr("Close") : tr("Back"));
}

void MApplicationWindow::escapeClicked()
{
    // With a dialog open, the escape button dismisses the dialog.
    if (MDialog *dialog = topDialog()) {
        dialog->reject();
        return;
    }
    if (!m_page || m_page->escapeMode() == MApplicationPageModel::EscapeCloseWindow) {
        // Close sits where Back is on every other page: a second press too many asks first.
        const QString question = m_closeQuestion ? m_closeQuestion() : QString();
        if (question.isEmpty()) {
            close();
            return;
        }
        // Asked from the event loop: the box runs a nested event loop, which must not run inside
        // the press's delivery (a press through assistive technology waits for it to return).
        if (m_asking)
            return;
        m_asking = true;
        QMetaObject::invokeMethod(
            this,
            [this, question] {
                MMessageBox box(tr("Close"), question, M::OkButton | M::CancelButton);
                const bool closing = box.exec() == M::OkButton;
                m_asking = false;
                if (closing)
                    close();
            },
            Qt::QueuedConnection);
        return;
    }
    emit m_page->backButtonClicked();
}

void MApplicationWindow::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    m_bar->setGeometry(0, 0, width(), BarHeight);
    fitPage();
}

bool MApplicationWindow::takeRequest(QEvent *event)
{
    auto *request = static_cast<MSceneWindowRequest *>(event);
    MSceneWindow *window = request->sceneWindow();
    // Another window's page or dialog is that window's to show.
    if (window->scene() && window->scene() != m_scene)
        return false;
    request->accept();
    if (request->kind() == MSceneWindowRequest::Appear)
        appearSceneWindow(window);
    else
        disappearSceneWindow(window);
    return true;
}

bool MApplicationWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == MSceneWindowRequest::eventType())
        return takeRequest(event);
    // Seen before any widget: an open list takes Esc to close itself (already while Qt asks
    // whether the key is a shortcut), and may hand it on as unused once closed.
    const QEvent::Type type = event->type();
    // Tab walks the page in reading order and round to the bar, across the rows' own focus
    // chains and the embedded widgets' windows; an open list keeps its keys.
    if (type == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool tab = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (tab && !MComboBox::isAnyListOpen() && steersKeysOf(watched)) {
            tabTo(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    if (type == QEvent::ShortcutOverride || type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const bool escape = static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
        if (type == QEvent::KeyRelease || !escape)
            m_escapeClosedList = false;
        else if (MComboBox::isAnyListOpen())
            m_escapeClosedList = true;
    }
    return QGraphicsView::eventFilter(watched, event);
}

void MApplicationWindow::keyPressEvent(QKeyEvent *event)
{
    QGraphicsView::keyPressEvent(event);
    // Esc that closed an open list did all it should.
    if (event->isAccepted() || (m_escapeClosedList && event->key() == Qt::Key_Escape))
        return;
    // Esc that nothing on the page used (an open list closes itself) works the escape button;
    // Return in an answer box presses its default button.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        escapeClicked();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Return presses the focused button, as Space does; in an answer box without one, its
        // default button.
        auto *proxy = dynamic_cast<QGraphicsProxyWidget *>(m_scene->focusItem());
        auto *focused = proxy ? qobject_cast<QAbstractButton *>(proxy->widget()) : nullptr;
        MDialog *dialog = topDialog();
        if (focused && focused->isVisible() && focused->isEnabled()) {
            event->accept();
            focused->click();
        } else if (MButton *button = dialog ? dialog->button(dialog->defaultButton()) : nullptr) {
            event->accept();
            button->click();
        }
    }
}

void MApplicationWindow::closeEvent(QCloseEvent *event)
{
    // Open dialogs are dismissed so that their nested event loops end.
    while (MDialog *dialog = topDialog()) {
        dialog->reject();
        m_overlays.removeAll(dialog);
    }
    QGraphicsView::closeEvent(event);
}
