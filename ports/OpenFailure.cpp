#include "OpenFailure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "NetAddress.h"
#include "TcpConnect.h"

namespace {

constexpr std::uint16_t kCh34xVendor = 0x1a86;
constexpr std::uint16_t kCh34xProduct = 0x7523;
const QString kBrltty = QStringLiteral("brltty");
const QString kModemManager = QStringLiteral("ModemManager");

QString ProcessName(const QString& procDirectory, std::int64_t pid) {
    QFile comm(QStringLiteral("%1/%2/comm").arg(procDirectory).arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// Lock file names other programs use for the device: "LCK..ttyUSB0" (by the device's name)
// and "LCK..pts_3" (the path below /dev, slashes made underscores), also for a link's path.
QStringList LockNames(const QString& path) {
    QStringList names;
    for (const QString& candidate : {path, QFileInfo(path).canonicalFilePath()}) {
        if (candidate.isEmpty()) {
            continue;
        }
        QString belowDev = candidate;
        if (belowDev.startsWith(QStringLiteral("/dev/"))) {
            belowDev.remove(0, 5);
        }
        belowDev.replace(QLatin1Char('/'), QLatin1Char('_'));
        names << QStringLiteral("LCK..") + QFileInfo(candidate).fileName()
              << QStringLiteral("LCK..") + belowDev;
    }
    names.removeDuplicates();
    return names;
}

void AddHolder(std::vector<ProcessInfo>& holders, ProcessInfo process) {
    const bool known = std::any_of(holders.begin(), holders.end(),
                                   [&](const ProcessInfo& p) { return p.pid == process.pid; });
    if (!known) {
        holders.push_back(std::move(process));
    }
}

// A lock file names its owner by the decimal pid on its first line; a lock whose process no
// longer runs holds nothing.
void HoldersByLock(const QString& path, const DeviceCheckPlaces& places,
                   std::vector<ProcessInfo>& holders) {
    for (const QString& directory : places.lockDirectories) {
        for (const QString& name : LockNames(path)) {
            QFile lock(directory + QLatin1Char('/') + name);
            if (!lock.open(QIODevice::ReadOnly)) {
                continue;
            }
            bool ok = false;
            const std::int64_t pid = lock.readLine(64).trimmed().toLongLong(&ok);
            if (!ok || pid <= 0) {
                continue;
            }
            const QString processName = ProcessName(places.procDirectory, pid);
            if (!processName.isEmpty()) {
                AddHolder(holders, {pid, processName});
            }
        }
    }
}

// Processes with the device open, by their descriptors (only those this user may look into).
void HoldersByDescriptor(const QString& device, const DeviceCheckPlaces& places,
                         std::vector<ProcessInfo>& holders, std::vector<ProcessInfo>& running) {
    const QDir proc(places.procDirectory);
    const std::int64_t self = QCoreApplication::applicationPid();
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const std::int64_t pid = entry.toLongLong(&ok);
        if (!ok) {
            continue;
        }
        const QString name = ProcessName(places.procDirectory, pid);
        if (name == kBrltty || name == kModemManager) {
            running.push_back({pid, name});
        }
        if (pid == self || device.isEmpty()) {
            continue;
        }
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QFileInfo& fd :
             fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == device) {
                AddHolder(holders, {pid, name});
                break;
            }
        }
    }
}

}  // namespace

DeviceCheck CheckDevice(const QString& path, int openErrno, const DeviceCheckPlaces& places) {
    DeviceCheck check;
    check.openErrno = openErrno;
    const QFileInfo info(path);
    check.exists = !path.isEmpty() && info.exists();
#ifdef Q_OS_UNIX
    if (check.exists) {
        const QByteArray native = QFile::encodeName(path);
        check.readWrite = ::access(native.constData(), R_OK | W_OK) == 0;
        struct stat st {};
        if (::stat(native.constData(), &st) == 0) {
            if (const group* g = ::getgrgid(st.st_gid)) {
                check.group = QString::fromLocal8Bit(g->gr_name);
                const passwd* user = ::getpwuid(::getuid());
                if (user != nullptr) {
                    check.listedInGroup = user->pw_gid == st.st_gid;
                    for (char** member = g->gr_mem; member && *member; ++member) {
                        check.listedInGroup =
                            check.listedInGroup || QByteArray(*member) == QByteArray(user->pw_name);
                    }
                }
            }
        }
    }
#endif
    HoldersByLock(path, places, check.holders);
    HoldersByDescriptor(check.exists ? info.canonicalFilePath() : QString(), places, check.holders,
                        check.running);
    return check;
}

namespace {

bool IsCh34x(const std::optional<PortEntry>& adapter) {
    return adapter && adapter->hasUsbIds && adapter->vendorId == kCh34xVendor &&
           adapter->productId == kCh34xProduct;
}

const ProcessInfo* Named(const std::vector<ProcessInfo>& processes, const QString& name) {
    const auto found = std::find_if(processes.begin(), processes.end(),
                                    [&](const ProcessInfo& p) { return p.name == name; });
    return found == processes.end() ? nullptr : &*found;
}

QString ProcessText(const ProcessInfo& process) {
    return QCoreApplication::translate("OpenFailure", "进程 %1（%2）")
        .arg(process.pid)
        .arg(process.name);
}

OpenFailureExplanation Brltty(const ProcessInfo& process) {
    return {
        OpenFailureCause::Brltty,
        QCoreApplication::translate(
            "OpenFailure",
            "原因：盲文显示服务 brltty（%1）把 CH34x 适配器（1a86:7523）当作盲文显示器占用了。\n"
            "处理：不用盲文显示器时执行 sudo systemctl mask brltty-udev.service "
            "brltty.service（或 sudo apt remove brltty），然后重新插入适配器。")
            .arg(ProcessText(process))};
}

OpenFailureExplanation ModemManager(const ProcessInfo& process) {
    return {OpenFailureCause::ModemManager,
            QCoreApplication::translate(
                "OpenFailure",
                "原因：ModemManager（%1）正在探测这个设备，把它当作调制解调器。\n"
                "处理：插入后等几秒钟再连接；长久的办法是 sudo systemctl disable --now "
                "ModemManager，或为这个适配器加一条 udev 规则 "
                "ENV{ID_MM_DEVICE_IGNORE}=\"1\"。")
                .arg(ProcessText(process))};
}

}  // namespace

OpenFailureExplanation ExplainOpenFailure(const QString& comName, const QString& path,
                                          const DeviceCheck& check,
                                          const std::optional<PortEntry>& adapter,
                                          const QStringList& existing) {
    const ProcessInfo* brltty = Named(check.running, kBrltty);
    if (check.openErrno == ENOENT || !check.exists) {
        // brltty claims a CH34x's interface as soon as it appears: the device node goes away.
        if (brltty != nullptr && IsCh34x(adapter)) {
            return Brltty(*brltty);
        }
        QString text =
            path.isEmpty()
                ? QCoreApplication::translate("OpenFailure",
                                              "原因：%1 没有对应的设备（没有插入适配器）。")
                      .arg(comName)
                : QCoreApplication::translate("OpenFailure", "原因：%1 对应的设备 %2 不存在。")
                      .arg(comName, path);
        text += existing.isEmpty()
                    ? QCoreApplication::translate(
                          "OpenFailure",
                          "\n本机现在没有任何串口设备。\n处理：插入 USB 串口适配器后再连接。")
                    : QCoreApplication::translate(
                          "OpenFailure", "\n现有的串口：%1。\n处理：插入适配器，或选择现有的串口。")
                          .arg(existing.join(QCoreApplication::translate("OpenFailure", "；")));
        return {OpenFailureCause::NoDevice, text};
    }
    if (check.openErrno == EACCES || check.openErrno == EPERM || !check.readWrite) {
        const QString group = check.group.isEmpty() ? QStringLiteral("dialout") : check.group;
        QString text =
            QCoreApplication::translate("OpenFailure", "原因：没有使用 %1 的权限，它属于 %2 组。\n")
                .arg(path, group);
        text += check.listedInGroup
                    ? QCoreApplication::translate(
                          "OpenFailure",
                          "处理：当前用户已在 %1 组中，但本次登录还没有生效：注销后重新登录。")
                          .arg(group)
                    : QCoreApplication::translate(
                          "OpenFailure",
                          "处理：执行 sudo usermod -aG %1 $USER，然后注销并重新登录"
                          "（新的登录后才生效）。")
                          .arg(group);
        return {OpenFailureCause::Permission, text};
    }
    if (const ProcessInfo* holder = Named(check.holders, kBrltty); holder && IsCh34x(adapter)) {
        return Brltty(*holder);
    }
    if (const ProcessInfo* holder = Named(check.holders, kModemManager)) {
        return ModemManager(*holder);
    }
    if (!check.holders.empty()) {
        QStringList names;
        for (const ProcessInfo& holder : check.holders) {
            names << ProcessText(holder);
        }
        const bool heldHere = std::any_of(
            check.holders.begin(), check.holders.end(),
            [](const ProcessInfo& p) { return p.pid == QCoreApplication::applicationPid(); });
        return {OpenFailureCause::Busy,
                QCoreApplication::translate(
                    "OpenFailure", "原因：%1 正被其它程序占用：%2。\n处理：关闭该程序后再连接。")
                    .arg(path, names.join(QCoreApplication::translate("OpenFailure", "、"))),
                heldHere};
    }
    if (check.openErrno == EBUSY) {
        return {OpenFailureCause::Busy,
                QCoreApplication::translate(
                    "OpenFailure",
                    "原因：%1 正被其它程序占用（找不到是哪个程序，可能属于其它用户）。\n"
                    "处理：关闭使用串口的其它程序后再连接。")
                    .arg(path)};
    }
    if (const ProcessInfo* probing = Named(check.running, kModemManager)) {
        return ModemManager(*probing);
    }
    return {OpenFailureCause::Unknown,
            QCoreApplication::translate("OpenFailure",
                                        "原因不明：%1 存在且有权限使用，打开仍然失败。\n"
                                        "处理：检查串口设置，或拔下适配器再重新插入。")
                .arg(path)};
}

OpenFailureExplanation ExplainNetworkFailure(const QString& url, int openErrno) {
    using vr7c::net::ConnectFailure;
    OpenFailureExplanation why;
    why.cause = OpenFailureCause::Network;
    const std::optional<vr7c::net::NetAddress> address =
        vr7c::net::ParseNetAddress(url.toStdString());
    const QString host = address ? QString::fromStdString(address->host) : url;
    if (openErrno == EPROTONOSUPPORT) {
        why.text = QCoreApplication::translate("OpenFailure",
                                               "原因：%1 上的服务不支持 RFC 2217（串口控制）。\n"
                                               "处理：改用 tcp://，或在串口服务器上启用 RFC 2217。")
                       .arg(url);
        return why;
    }
    switch (vr7c::net::ConnectFailureOf(openErrno)) {
        case ConnectFailure::Refused:
            why.text = QCoreApplication::translate(
                           "OpenFailure",
                           "原因：%1 拒绝了连接（该端口上没有服务）。\n"
                           "处理：检查串口服务器的地址、端口号，以及它是否已启动。")
                           .arg(url);
            break;
        case ConnectFailure::NoRoute:
            why.text = QCoreApplication::translate("OpenFailure",
                                                   "原因：没有到 %1 的网络路径。\n"
                                                   "处理：检查网络连接和地址。")
                           .arg(host);
            break;
        case ConnectFailure::NameNotFound:
            why.text = QCoreApplication::translate("OpenFailure",
                                                   "原因：找不到主机名 %1。\n"
                                                   "处理：检查主机名，或改用 IP 地址。")
                           .arg(host);
            break;
        case ConnectFailure::TimedOut:
            why.text =
                QCoreApplication::translate("OpenFailure",
                                            "原因：%1 在 3 秒内没有应答。\n"
                                            "处理：检查服务器是否开机、网络是否接通、防火墙是否放行"
                                            "该端口。")
                    .arg(url);
            break;
        default:
            why.text = QCoreApplication::translate("OpenFailure", "原因：连接 %1 失败（错误 %2）。")
                           .arg(url)
                           .arg(openErrno);
            break;
    }
    return why;
}
