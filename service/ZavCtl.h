#ifndef ZAVCTL_H
#define ZAVCTL_H

#include <QDBusConnection>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <memory>

class ComKelvoZavControlInterface;
class QDBusPendingCall;

// The tester's side of the transfer-status service, behind the zavctl command.
class ZavCtl : public QObject
{
    Q_OBJECT
public:
    enum ExitCode { Success = 0, NotThere = 1, UsageError = 2 };
    static constexpr int PageSize = 1000;

    ZavCtl(const QDBusConnection &bus, QTextStream &out, QTextStream &err, QObject *parent = nullptr);
    ~ZavCtl() override;

    // Runs one command (arguments without the program name). Returns its exit code, or -1 for
    // "watch", which keeps running in the event loop.
    int run(const QStringList &arguments);

    static QString usage();
    // A transfer as one line of the list table, and the table's header.
    static QString tableHeader();
    static QString tableRow(const QJsonObject &transfer);
    // A progress bar of `width` cells for a part done between 0 and 1.
    static QString progressBar(double done, int width);
    // The state in words, as a tester reads it.
    static QString stateWords(const QJsonObject &transfer);
    static QString formatBytes(qint64 bytes);
    // The text with control characters and the marks that reorder text escaped ("\x07").
    static QString printable(const QString &text);

private Q_SLOTS:
    void onChanged(const QString &id, const QString &json);
    void onRemoved(const QString &id);

private:
    // The service's control interface, through the proxy made from its interface file.
    ComKelvoZavControlInterface &control();
    // Waits for a call's answer; says on stderr why there is none.
    bool answered(QDBusPendingCall call);
    int list(bool json);
    int show(const QString &id, bool json);
    int request(const QString &id, const QString &action);
    int refuse(const QString &value);
    int watch();
    int status();
    // Calls `each` for every transfer, fetched a page at a time; false when the service fails.
    bool eachTransfer(const std::function<void(const QJsonObject &)> &each);
    void redraw();

    QDBusConnection m_bus;
    std::unique_ptr<ComKelvoZavControlInterface> m_control;
    QTextStream &m_out;
    QTextStream &m_err;
    QMap<qint64, QJsonObject> m_watched; // by numeric id, so rows keep the order of registration
    QTimer m_redraw;
    int m_linesDrawn = 0;
};

#endif
