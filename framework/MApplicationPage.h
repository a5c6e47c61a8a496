// SPDX-License-Identifier: MIT
#ifndef MAPPLICATIONPAGE_H
#define MAPPLICATIONPAGE_H

#include "MApplicationPageModel.h"
#include "MSceneWindow.h"

// A full-screen page with a title and an escape button in the window's bar. The page's content
// goes on its central widget, built in createContent(), which runs once before the first showing.
class MApplicationPage : public MSceneWindow
{
    Q_OBJECT
public:
    explicit MApplicationPage(QGraphicsItem *parent = nullptr);
    ~MApplicationPage() override;

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QGraphicsWidget *centralWidget() const { return m_central; }
    MApplicationPageModel::PageEscapeMode escapeMode() const { return m_escapeMode; }
    void setEscapeMode(MApplicationPageModel::PageEscapeMode mode);
    // Whether the window shows the page again where it was scrolled when another page came over
    // it (a list the user comes back to), or always from its top (a page that shows one thing
    // after another).
    bool keepsScrollPosition() const { return m_keepsScroll; }
    void setKeepsScrollPosition(bool keeps) { m_keepsScroll = keeps; }

Q_SIGNALS:
    // The user pressed the escape button in EscapeAuto mode (pages may raise it themselves).
    void backButtonClicked();
    // For the window's bar.
    void titleChanged(const QString &title);
    void escapeModeChanged(MApplicationPageModel::PageEscapeMode mode);
    // The content asked for a new size (rows added or removed).
    void contentSizeChanged();

protected:
    virtual void createContent();
    void prepareToAppear() override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    // True when a layout request waits for the page to be shown.
    bool deferLayout(QEvent *event);

    QString m_title;
    QGraphicsWidget *m_central;
    MApplicationPageModel::PageEscapeMode m_escapeMode = MApplicationPageModel::EscapeAuto;
    bool m_contentCreated = false;
    bool m_keepsScroll = true;
    bool m_layoutDeferred = false; // a layout request came while the page was hidden
};

#endif
