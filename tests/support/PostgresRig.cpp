#include "PostgresRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <QDirIterator>

#include <cerrno>
#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStepTimeoutMs = 60000;

}  // namespace

PostgresRig::PostgresRig() : bin_(QStringLiteral("/usr/lib/postgresql/15/bin")) {
    if (!QFileInfo(bin_ + QStringLiteral("/initdb")).isExecutable()) {
        unavailable_ = QStringLiteral(
                           "PostgreSQL 15 is not installed (%1/initdb; Debian package "
                           "postgresql-15)")
                           .arg(bin_);
        return;
    }
    data_ = dir_.filePath(QStringLiteral("data"));
    socket_ = dir_.filePath(QStringLiteral("socket"));
    QDir().mkpath(data_);
    QDir().mkpath(socket_);
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        if (!user) {
            unavailable_ = QStringLiteral("run as root without a 'postgres' system user");
            return;
        }
        // The server's user must reach its folders.
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther |
                                               QFile::ReadGroup | QFile::ExeGroup);
        for (const QString& folder : {data_, socket_}) {
            if (::chown(folder.toLocal8Bit().constData(), user->pw_uid, user->pw_gid) != 0) {
                unavailable_ = QStringLiteral("cannot hand %1 to the postgres user").arg(folder);
                return;
            }
        }
    }
    if (!Run(bin_ + QStringLiteral("/initdb"),
             {QStringLiteral("-D"), data_, QStringLiteral("-U"), QStringLiteral("vr7c"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("--no-sync")},
             true) ||
        !Start() ||
        !Run(bin_ + QStringLiteral("/createdb"),
             {QStringLiteral("-h"), socket_, QStringLiteral("-p"), QString::number(port_),
              QStringLiteral("-U"), QStringLiteral("vr7c"), QStringLiteral("vr7c")},
             false)) {
        if (unavailable_.isEmpty()) {
            unavailable_ = QStringLiteral("the PostgreSQL server could not be started");
        }
    }
}

PostgresRig::~PostgresRig() {
    if (QFileInfo::exists(data_ + QStringLiteral("/postmaster.pid"))) {
        Run(bin_ + QStringLiteral("/pg_ctl"),
            {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("immediate"),
             QStringLiteral("-w"), QStringLiteral("stop")},
            true);
    }
}

bool PostgresRig::Run(const QString& program, const QStringList& arguments, bool asServerUser,
                      QString* output, const QByteArray& input) const {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir_.path());
    if (asServerUser && ::geteuid() == 0) {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kStepTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    const QString text = QString::fromUtf8(process.readAll());
    if (output) {
        *output = text.trimmed();
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const_cast<PostgresRig*>(this)->unavailable_ =
            QStringLiteral("%1 failed: %2").arg(QFileInfo(program).fileName(), text.trimmed());
        return false;
    }
    return true;
}

QString PostgresRig::address() const {
    return QStringLiteral("postgresql://vr7c@localhost:%1/vr7c?host=%2").arg(port_).arg(socket_);
}

bool PostgresRig::Kill() {
    return Run(bin_ + QStringLiteral("/pg_ctl"),
               {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("immediate"),
                QStringLiteral("-w"), QStringLiteral("stop")},
               true);
}

bool PostgresRig::Start() {
    return Run(bin_ + QStringLiteral("/pg_ctl"),
               {QStringLiteral("-D"), data_, QStringLiteral("-l"),
                socket_ + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-o"),
                QStringLiteral("-k %1 -p %2 -c listen_addresses='%3' -c fsync=off")
                    .arg(socket_, QString::number(port_), listen_),
                QStringLiteral("start")},
               true);
}

bool PostgresRig::Pause(bool stopped) {
    QFile pidFile(data_ + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    std::vector<qint64> server{postmaster};
    // The server's own processes: the postmaster's children.
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        QFile stat(processes.next() + QStringLiteral("/stat"));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == postmaster) {
                server.push_back(QFileInfo(stat.fileName()).dir().dirName().toLongLong());
            }
        }
    }
    bool ok = postmaster > 0;
    // A backend of an earlier connection may end between the look and the signal.
    for (const qint64 pid : server) {
        ok = (::kill(static_cast<pid_t>(pid), stopped ? SIGSTOP : SIGCONT) == 0 ||
              (errno == ESRCH && pid != postmaster)) &&
             ok;
    }
    return ok;
}

QString PostgresRig::Psql(const QString& sql) const {
    QString out;
    Run(bin_ + QStringLiteral("/psql"),
        {QStringLiteral("-h"), socket_, QStringLiteral("-p"), QString::number(port_),
         QStringLiteral("-U"), QStringLiteral("vr7c"), QStringLiteral("-d"), QStringLiteral("vr7c"),
         QStringLiteral("-At"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1")},
        false, &out, sql.toUtf8());
    return out;
}

int PostgresRig::AddPasswordUser(const QString& user, const QString& password) {
    // A port nobody uses now: the one the system gives a socket bound to port 0.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    const bool found = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&at), size) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&at), &size) == 0;
    if (probe >= 0) {
        ::close(probe);
    }
    // The first line that fits a connection decides: this user over TCP needs its password.
    QFile hba(data_ + QStringLiteral("/pg_hba.conf"));
    if (!found || !hba.open(QIODevice::ReadWrite)) {
        return 0;
    }
    const QByteArray rules = hba.readAll();
    hba.seek(0);
    hba.write("host all " + user.toUtf8() + " 127.0.0.1/32 scram-sha-256\n" + rules);
    hba.close();
    Psql(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'; GRANT ALL ON SCHEMA public TO %1")
             .arg(user, password));
    if (!unavailable_.isEmpty() || !Kill()) {
        return 0;
    }
    port_ = ntohs(at.sin_port);
    listen_ = QStringLiteral("127.0.0.1");
    return Start() ? port_ : 0;
}

QByteArray PostgresRig::ServerLog() const {
    QFile log(socket_ + QStringLiteral("/server.log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}
