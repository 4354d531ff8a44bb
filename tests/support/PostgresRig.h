#pragma once

#include <QString>
#include <QTemporaryDir>

// A throwaway PostgreSQL 15 cluster on a Unix socket in a temporary folder, with a database
// "vr7c" that user "vr7c" may use without a password. Run as root, the server runs as the
// `postgres` system user, since it refuses to run as root.
class PostgresRig {
public:
    PostgresRig();
    ~PostgresRig();
    PostgresRig(const PostgresRig&) = delete;
    PostgresRig& operator=(const PostgresRig&) = delete;

    // Empty when the server runs; else why it cannot, for the test's skip message.
    const QString& unavailable() const { return unavailable_; }
    // The address for --records.
    QString address() const;
    // "The server went away": stopped at once, without a clean shut-down.
    bool Kill();
    bool Start();
    // "The server hangs": every server process stopped (SIGSTOP), or let go on again.
    bool Pause(bool stopped);
    // Runs SQL through psql, given on its standard input, and gives its output (unaligned,
    // tuples only).
    QString Psql(const QString& sql) const;
    // Listens on 127.0.0.1 as well, at a free port, where `user` gets in only with its
    // password (SCRAM). Gives the port, or 0.
    int AddPasswordUser(const QString& user, const QString& password);
    // What the server has logged so far.
    QByteArray ServerLog() const;

private:
    bool Run(const QString& program, const QStringList& arguments, bool asServerUser,
             QString* output = nullptr, const QByteArray& input = {}) const;

    QTemporaryDir dir_;
    QString bin_;
    QString data_;
    QString socket_;
    QString unavailable_;
    int port_ = 5432;  // on 127.0.0.1 once listened there; else it only names the socket file
    QString listen_;   // the addresses listened on besides the socket
};
