#include "Plan.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include <toml++/toml.h>

#include "RegisterNumbers.h"

namespace {

constexpr int kMaxSamples = 10000;
constexpr int kMaxWaitMs = 3600000;
constexpr int kDefaultCommandTimeoutMs = 10000;
constexpr int kMaxSteps = 10000;

// The keys a foot switch may send to confirm a prompt, with their codes: none a barcode
// scanner types or a text field takes.
const std::vector<std::pair<QString, int>>& PromptKeys() {
    static const std::vector<std::pair<QString, int>> keys = [] {
        std::vector<std::pair<QString, int>> all;
        for (int n = 1; n <= 24; ++n) {
            all.emplace_back(QStringLiteral("F%1").arg(n), Qt::Key_F1 + n - 1);
        }
        all.emplace_back(QStringLiteral("Pause"), Qt::Key_Pause);
        all.emplace_back(QStringLiteral("ScrollLock"), Qt::Key_ScrollLock);
        all.emplace_back(QStringLiteral("Insert"), Qt::Key_Insert);
        all.emplace_back(QStringLiteral("PageUp"), Qt::Key_PageUp);
        all.emplace_back(QStringLiteral("PageDown"), Qt::Key_PageDown);
        return all;
    }();
    return keys;
}

struct StepKindInfo {
    StepKind kind;
    const char* name;
    std::set<std::string_view> keys;  // besides kind and name
};

const std::vector<StepKindInfo>& StepKinds() {
    static const std::vector<StepKindInfo> kinds = {
        {StepKind::Flash, "flash", {"image"}},
        {StepKind::Config, "config", {"profile"}},
        {StepKind::Write, "write", {"register", "value"}},
        {StepKind::Wait, "wait", {"ms"}},
        {StepKind::Prompt, "prompt", {"text", "key"}},
        {StepKind::Command, "command", {"run", "timeout_ms"}},
        {StepKind::Measure,
         "measure",
         {"quantity", "channels", "samples", "low", "high", "spread", "marginal_low",
          "marginal_high", "unit"}},
    };
    return kinds;
}

// Thrown inside the reader with the place of the node at fault.
struct Fault {
    PlanError error;
};

[[noreturn]] void FailAt(const toml::source_region& where, const QString& message) {
    throw Fault{
        {static_cast<int>(where.begin.line), static_cast<int>(where.begin.column), message}};
}

QString Key(std::string_view key) {
    return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

// Reads the tables' values by key, each of the type asked for, and knows which keys it read.
class TableReader {
public:
    TableReader(const toml::table& table, QString what) : table_(table), what_(std::move(what)) {}

    const toml::node* Find(std::string_view key) {
        seen_.insert(std::string(key));
        return table_.get(key);
    }

    std::optional<QString> String(std::string_view key) {
        const toml::node* node = Find(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_string()) {
            FailAt(node->source(), QStringLiteral("'%1' must be a text in quotes").arg(Key(key)));
        }
        return QString::fromStdString(**node->as_string());
    }

    std::optional<std::int64_t> Integer(std::string_view key, std::int64_t min, std::int64_t max) {
        const toml::node* node = Find(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_integer()) {
            FailAt(node->source(), QStringLiteral("'%1' must be a whole number").arg(Key(key)));
        }
        const std::int64_t v = **node->as_integer();
        if (v < min || v > max) {
            FailAt(node->source(),
                   QStringLiteral("'%1' must be %2 to %3").arg(Key(key)).arg(min).arg(max));
        }
        return v;
    }

    std::optional<double> Number(std::string_view key) {
        const toml::node* node = Find(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_number()) {
            FailAt(node->source(), QStringLiteral("'%1' must be a number").arg(Key(key)));
        }
        const double v = node->value<double>().value_or(0);
        if (!std::isfinite(v)) {
            FailAt(node->source(), QStringLiteral("'%1' must be a finite number").arg(Key(key)));
        }
        return v;
    }

    std::optional<bool> Bool(std::string_view key) {
        const toml::node* node = Find(key);
        if (!node) {
            return std::nullopt;
        }
        if (!node->is_boolean()) {
            FailAt(node->source(), QStringLiteral("'%1' must be true or false").arg(Key(key)));
        }
        return **node->as_boolean();
    }

    template <typename T>
    T Required(std::optional<T> value, std::string_view key) {
        if (!value) {
            FailAt(table_.source(), QStringLiteral("%1 needs '%2'").arg(what_, Key(key)));
        }
        return *value;
    }

    // Every key of the table must have been asked for (or be one of `allowed`).
    void RefuseOthers(const std::set<std::string_view>& allowed = {}) {
        for (auto&& [key, node] : table_) {
            if (seen_.count(std::string(key.str())) == 0 && allowed.count(key.str()) == 0) {
                FailAt(key.source(),
                       QStringLiteral("unknown key '%1' in %2").arg(Key(key.str()), what_));
            }
        }
    }

    const toml::table& table() const { return table_; }

private:
    const toml::table& table_;
    QString what_;
    std::set<std::string> seen_;
};

// "0-5", "2", "0,2,4" or "0-2,5".
std::vector<int> ParseChannels(const QString& text, QString* error) {
    std::vector<int> channels;
    std::set<int> seen;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool okA = false;
        bool okB = true;
        const int a = ends.value(0).trimmed().toInt(&okA);
        const int b = ends.size() == 2 ? ends[1].trimmed().toInt(&okB) : a;
        if (ends.size() > 2 || !okA || !okB || a < 0 || b >= Reg::kChannelCount || a > b) {
            *error = QStringLiteral(
                "channels must be channel numbers 0 to 5 as \"0-5\" or "
                "\"0,2,4\"");
            return {};
        }
        for (int c = a; c <= b; ++c) {
            if (!seen.insert(c).second) {
                *error = QStringLiteral("channel %1 is named twice").arg(c);
                return {};
            }
            channels.push_back(c);
        }
    }
    return channels;
}

class PlanReader {
public:
    explicit PlanReader(const QString& path)
        : folder_(path.isEmpty() ? QString() : QFileInfo(path).absolutePath()) {}

    Plan Read(const toml::table& root) {
        Plan plan;
        TableReader top(root, QStringLiteral("the plan"));
        plan.name = top.Required(top.String("name"), "name");
        if (plan.name.trimmed().isEmpty()) {
            FailAt(root.get("name")->source(), QStringLiteral("'name' must not be empty"));
        }
        if (const toml::node* rev = top.Find("revision"); rev && rev->is_integer()) {
            plan.revision = QString::number(**rev->as_integer());
        } else {
            plan.revision = top.Required(top.String("revision"), "revision");
        }
        plan.continueOnFail = top.Bool("continue_on_fail").value_or(false);
        if (const toml::node* expect = top.Find("expect")) {
            if (!expect->is_table()) {
                FailAt(expect->source(), QStringLiteral("'expect' must be a table"));
            }
            plan.expect = ReadExpect(*expect->as_table());
        }
        if (const toml::node* steps = top.Find("step")) {
            const toml::array* array = steps->as_array();
            if (!array || !array->is_array_of_tables()) {
                FailAt(steps->source(), QStringLiteral("steps are written as [[step]] tables"));
            }
            for (const toml::node& node : *array) {
                ReadStep(*node.as_table(), plan);
                if (plan.steps.size() > kMaxSteps) {
                    FailAt(node.source(), QStringLiteral("more than %1 steps").arg(kMaxSteps));
                }
            }
        }
        if (plan.steps.empty()) {
            FailAt(root.source(), QStringLiteral("the plan has no [[step]]"));
        }
        top.RefuseOthers();
        plan.files = files_;
        return plan;
    }

private:
    PlanExpect ReadExpect(const toml::table& table) {
        TableReader r(table, QStringLiteral("[expect]"));
        PlanExpect e;
        if (auto v = r.Integer("station", 1, 247)) {
            e.station = static_cast<int>(*v);
        }
        if (auto v = r.Integer("rate", 9600, 57600)) {
            if (*v != 9600 && *v != 19200 && *v != 38400 && *v != 57600) {
                FailAt(table.get("rate")->source(),
                       QStringLiteral("'rate' must be 9600, 19200, 38400 or 57600"));
            }
            e.rate = static_cast<int>(*v);
        }
        if (auto v = r.String("mode")) {
            static const std::map<QString, int> modes = {{QStringLiteral("thermocouple"), 0},
                                                         {QStringLiteral("pt100"), 1},
                                                         {QStringLiteral("load_cell"), 2}};
            const auto it = modes.find(*v);
            if (it == modes.end()) {
                FailAt(table.get("mode")->source(),
                       QStringLiteral("'mode' must be \"thermocouple\", \"pt100\" or "
                                      "\"load_cell\""));
            }
            e.mode = it->second;
        }
        if (auto v = r.String("firmware")) {
            bool ok = false;
            const double version = v->toDouble(&ok);
            if (!ok || version < 0 || version > 655.35) {
                FailAt(table.get("firmware")->source(),
                       QStringLiteral("'firmware' must look like \"1.50\""));
            }
            e.firmwareVersion = static_cast<int>(std::lround(version * 100));
        }
        r.RefuseOthers();
        return e;
    }

    QString File(TableReader& r, std::string_view key, bool required) {
        const std::optional<QString> name = r.String(key);
        if (!name) {
            if (required) {
                r.Required(name, key);
            }
            return {};
        }
        const QString path = folder_.isEmpty() ? *name : QDir(folder_).absoluteFilePath(*name);
        if (!folder_.isEmpty() && !QFileInfo(path).isFile()) {
            FailAt(r.table().get(key)->source(),
                   QStringLiteral("'%1': no such file %2").arg(Key(key), path));
        }
        files_.append(path);
        return path;
    }

    void ReadStep(const toml::table& table, Plan& plan) {
        const int number = static_cast<int>(plan.steps.size()) + 1;
        TableReader r(table, QStringLiteral("step %1").arg(number));
        const QString kindName = r.Required(r.String("kind"), "kind");
        const StepKindInfo* info = nullptr;
        for (const auto& k : StepKinds()) {
            if (kindName == QLatin1String(k.name)) {
                info = &k;
            }
        }
        if (!info) {
            FailAt(table.get("kind")->source(),
                   QStringLiteral("no step kind '%1' (flash, config, write, wait, prompt, "
                                  "command, measure)")
                       .arg(kindName));
        }
        PlanStep step;
        step.kind = info->kind;
        step.line = static_cast<int>(table.source().begin.line);
        step.name = r.String("name").value_or(QString());
        switch (step.kind) {
            case StepKind::Flash:
                step.file = File(r, "image", false);
                break;
            case StepKind::Config:
                step.file = File(r, "profile", true);
                break;
            case StepKind::Write:
                step.reg = static_cast<int>(r.Required(
                    r.Integer("register", Reg::kWritableFirst, Reg::kWritableLast), "register"));
                step.value =
                    static_cast<int>(r.Required(r.Integer("value", -32768, 65535), "value"));
                break;
            case StepKind::Wait:
                step.ms = static_cast<int>(r.Required(r.Integer("ms", 0, kMaxWaitMs), "ms"));
                break;
            case StepKind::Prompt:
                step.text = r.Required(r.String("text"), "text");
                if (const auto key = r.String("key")) {
                    if (!PromptKeyCode(*key)) {
                        FailAt(r.table().get("key")->source(),
                               QStringLiteral("'key' must be one of %1: the foot switch's key "
                                              "(Enter is the barcode scanner's)")
                                   .arg(PromptKeyNames().join(QStringLiteral(", "))));
                    }
                    step.key = *key;
                }
                break;
            case StepKind::Command:
                step.argv = ReadArgv(r);
                step.ms = static_cast<int>(
                    r.Integer("timeout_ms", 1, kMaxWaitMs).value_or(kDefaultCommandTimeoutMs));
                break;
            case StepKind::Measure:
                ReadMeasure(r, step, plan);
                r.RefuseOthers();
                return;
        }
        r.RefuseOthers();
        if (step.name.isEmpty()) {
            step.name = QLatin1String(info->name);
        }
        plan.steps.push_back(std::move(step));
    }

    QStringList ReadArgv(TableReader& r) {
        const toml::node* node = r.Find("run");
        if (!node) {
            r.Required(std::optional<QString>(), "run");
        }
        const toml::array* array = node->as_array();
        if (!array || array->empty() || !array->is_homogeneous(toml::node_type::string)) {
            FailAt(node->source(), QStringLiteral("'run' must be a list of texts: the program and "
                                                  "its arguments, as [\"relay\", \"on\"]"));
        }
        QStringList argv;
        for (const toml::node& arg : *array) {
            argv.append(QString::fromStdString(**arg.as_string()));
        }
        return argv;
    }

    void ReadMeasure(TableReader& r, PlanStep& step, Plan& plan) {
        const QString quantityName = r.Required(r.String("quantity"), "quantity");
        const toml::source_region quantityAt = r.table().get("quantity")->source();
        std::vector<std::optional<int>> channels = {std::nullopt};
        if (const auto text = r.String("channels")) {
            QString why;
            channels.clear();
            for (int c : ParseChannels(*text, &why)) {
                channels.emplace_back(c);
            }
            if (channels.empty()) {
                FailAt(r.table().get("channels")->source(), why);
            }
        }
        step.samples = static_cast<int>(r.Integer("samples", 1, kMaxSamples).value_or(1));
        Limits& l = step.limits;
        l.low = r.Required(r.Number("low"), "low");
        l.high = r.Required(r.Number("high"), "high");
        l.spread = r.Number("spread");
        l.marginalLow = r.Number("marginal_low");
        l.marginalHigh = r.Number("marginal_high");
        const auto& t = r.table();
        if (l.low > l.high) {
            FailAt(t.get("low")->source(),
                   QStringLiteral("limits the wrong way round: low %1 is above high %2")
                       .arg(l.low)
                       .arg(l.high));
        }
        if (l.spread && *l.spread < 0) {
            FailAt(t.get("spread")->source(), QStringLiteral("'spread' must not be negative"));
        }
        if (l.marginalLow && (*l.marginalLow < l.low || *l.marginalLow > l.high)) {
            FailAt(t.get("marginal_low")->source(),
                   QStringLiteral("'marginal_low' must lie inside low to high"));
        }
        if (l.marginalHigh && (*l.marginalHigh < l.low || *l.marginalHigh > l.high ||
                               (l.marginalLow && *l.marginalHigh < *l.marginalLow))) {
            FailAt(t.get("marginal_high")->source(),
                   QStringLiteral("'marginal_high' must lie inside marginal_low (or low) to high"));
        }
        const std::optional<QString> unit = r.String("unit");
        for (const auto& channel : channels) {
            QString why;
            const auto q = ParseQuantity(quantityName, channel, &why);
            if (!q) {
                FailAt(quantityAt, why);
            }
            const QStringList units = QuantityUnits(*q);
            if (unit && !units.contains(*unit)) {
                FailAt(t.get("unit")->source(),
                       units.first().isEmpty()
                           ? QStringLiteral("'%1' has no unit").arg(q->Name())
                           : QStringLiteral("'%1' is in %2, not '%3'")
                                 .arg(q->Name(), units.join(QStringLiteral(" or ")), *unit));
            }
            PlanStep one = step;
            one.quantity = *q;
            one.unit = unit.value_or(QString());
            const QString base = step.name.isEmpty() ? q->Name() : step.name;
            one.name = channel ? QStringLiteral("CH%1 %2").arg(*channel).arg(base) : base;
            plan.steps.push_back(std::move(one));
        }
    }

    QString folder_;
    QStringList files_;
};

}  // namespace

std::optional<int> PromptKeyCode(const QString& name) {
    for (const auto& [key, code] : PromptKeys()) {
        if (key == name) {
            return code;
        }
    }
    return std::nullopt;
}

QStringList PromptKeyNames() {
    return {QStringLiteral("F1 ... F24"), QStringLiteral("Pause"),  QStringLiteral("ScrollLock"),
            QStringLiteral("Insert"),     QStringLiteral("PageUp"), QStringLiteral("PageDown")};
}

const char* StepKindName(StepKind kind) {
    for (const auto& k : StepKinds()) {
        if (k.kind == kind) {
            return k.name;
        }
    }
    return "";
}

QString PlanError::Text(const QString& file) const {
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(message);
}

std::optional<Plan> ParsePlan(const QByteArray& text, const QString& path, PlanError* error) {
    try {
        const std::string_view doc(text.constData(), static_cast<std::size_t>(text.size()));
        const toml::table root = toml::parse(doc, path.toStdString());
        Plan plan = PlanReader(path).Read(root);
        plan.path = path;
        plan.sha256 =
            QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
        return plan;
    } catch (const toml::parse_error& e) {
        *error = {static_cast<int>(e.source().begin.line),
                  static_cast<int>(e.source().begin.column),
                  QString::fromUtf8(e.description().data(),
                                    static_cast<qsizetype>(e.description().size()))};
    } catch (const Fault& f) {
        *error = f.error;
    }
    return std::nullopt;
}

std::optional<Plan> ReadPlanFile(const QString& path, PlanError* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = {0, 0, QStringLiteral("cannot read the plan: %1").arg(file.errorString())};
        return std::nullopt;
    }
    return ParsePlan(file.readAll(), path, error);
}
