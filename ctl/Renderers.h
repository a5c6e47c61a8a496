// SPDX-License-Identifier: MIT
#ifndef RENDERERS_H
#define RENDERERS_H

#include <QJsonObject>
#include <QMap>
#include <QTextStream>
#include <QTimer>

#include <memory>

// How zavctl shows what the service holds. The commands fetch rows (transfers as the service
// reports them, its status, the changes a watch sees) and hand each to a renderer, which writes
// it as text or as JSON: both come from the same rows.
class Renderer
{
public:
    virtual ~Renderer();

    // A listing, a transfer at a time (never held whole); then its end, whether or not the
    // service gave every page.
    virtual void listRow(const QJsonObject &transfer) = 0;
    virtual void listEnd(bool whole) = 0;
    // One transfer with all it holds.
    virtual void transfer(const QJsonObject &transfer) = 0;
    // The service's limits and journal.
    virtual void status(const QJsonObject &status) = 0;

    // What a watch sees: a transfer changed or was removed, the service left or is back. After
    // the service is back (and at the start) every transfer it holds is listed anew, between
    // relisting() and relisted().
    virtual void changed(const QJsonObject &transfer) = 0;
    virtual void removed(const QString &id) = 0;
    virtual void serviceLeft() = 0;
    virtual void serviceBack() = 0;
    virtual void relisting() { }
    virtual void relisted() { }
};

// The table in which text shows transfers, fitted to a width.
namespace TransferTable {
// The widths of the columns for a line of `width` (0: every column whole).
struct Columns
{
    int bar = 12; // 0: the per cent alone
    bool type = true;
    int state = 36;
    int name = -1; // -1: no limit
    bool extras = true; // speed and estimate
};
Columns columnsFor(int width);
QString header(const Columns &columns);
// A transfer as one line; states in colour when `color`.
QString row(const QJsonObject &transfer, const Columns &columns, bool color);
// A progress bar of `width` cells for a part done between 0 and 1.
QString progressBar(double done, int width);
} // namespace TransferTable

// Text for a person: tables, and a line per change while watching.
class TextRenderer : public Renderer
{
public:
    TextRenderer(QTextStream &out, int width, bool color);

    void listRow(const QJsonObject &transfer) override;
    void listEnd(bool whole) override;
    void transfer(const QJsonObject &transfer) override;
    void status(const QJsonObject &status) override;
    void changed(const QJsonObject &transfer) override;
    void removed(const QString &id) override;
    void serviceLeft() override;
    void serviceBack() override;

protected:
    QTextStream &m_out;
    TransferTable::Columns m_columns;
    bool m_color;

private:
    int m_listed = 0;
};

// JSON for programs: a listing is one array, a watch one object a line.
class JsonRenderer : public Renderer
{
public:
    explicit JsonRenderer(QTextStream &out);

    void listRow(const QJsonObject &transfer) override;
    void listEnd(bool whole) override;
    void transfer(const QJsonObject &transfer) override;
    void status(const QJsonObject &status) override;
    void changed(const QJsonObject &transfer) override;
    void removed(const QString &id) override;
    void serviceLeft() override;
    void serviceBack() override;

private:
    void event(const QJsonObject &object);

    QTextStream &m_out;
    int m_listed = 0;
};

// A watch on a terminal: one table of every transfer, redrawn in place as they change.
class LiveTableRenderer : public TextRenderer
{
public:
    LiveTableRenderer(QTextStream &out, int width, bool color);
    ~LiveTableRenderer() override;

    void changed(const QJsonObject &transfer) override;
    void removed(const QString &id) override;
    void serviceLeft() override;
    void serviceBack() override;
    void relisting() override;
    void relisted() override;

private:
    void redraw();

    QMap<qint64, QJsonObject> m_rows; // by numeric id, so rows keep the order of registration
    std::unique_ptr<QTimer> m_redraw;
    bool m_serviceGone = false;
};

#endif
