#include "platform/registrydocument.h"

#include <algorithm>
#include <cctype>

namespace brimo {

namespace {

const QByteArray kHeader = "brimo-registry 1";
const QByteArray kEnd = "end";
constexpr qsizetype kCodeDigits = 8;

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool sameName(const std::string &a, const std::string &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower(x) == lower(y); });
}

std::string folded(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), lower);
    return name;
}

bool isHex(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

std::optional<std::uint32_t> parseCode(const QByteArray &text)
{
    if (text.size() != kCodeDigits || !isHex(text))
        return std::nullopt;
    return text.toUInt(nullptr, 16);
}

std::optional<std::string> parseData(const QByteArray &text)
{
    if (text == "-")
        return std::string();
    if (text.isEmpty() || text.size() % 2 != 0 || !isHex(text))
        return std::nullopt;
    return QByteArray::fromHex(text).toStdString();
}

QByteArray codeText(std::uint32_t code)
{
    return QByteArray::number(code, 16).rightJustified(kCodeDigits, '0');
}

QByteArray dataText(const std::string &data)
{
    if (data.empty())
        return "-";
    return QByteArray::fromStdString(data).toHex();
}

// Splits "<word> <word> ... <rest>" into `words` leading words and the rest of the line.
std::optional<std::vector<QByteArray>> splitFields(const QByteArray &line, int words)
{
    std::vector<QByteArray> fields;
    qsizetype from = 0;
    for (int i = 0; i < words; ++i) {
        const qsizetype space = line.indexOf(' ', from);
        if (space < 0)
            return std::nullopt;
        fields.push_back(line.mid(from, space - from));
        from = space + 1;
    }
    fields.push_back(line.mid(from));
    return fields;
}

} // namespace

std::optional<RegistryDocument> RegistryDocument::parse(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    // A complete file ends with "end" and its line feed, which leaves an empty last piece.
    if (lines.size() < 3 || lines.first() != kHeader || !lines.last().isEmpty() ||
        lines.at(lines.size() - 2) != kEnd)
        return std::nullopt;

    RegistryDocument document;
    std::unordered_set<std::string> names;
    for (qsizetype i = 1; i < lines.size() - 2; ++i) {
        if (!document.parseLine(lines.at(i), names))
            return std::nullopt;
    }
    return document;
}

// `names` holds every key and value met so far, folded to lower case: a key as
// "key <root> <path>", a value as "<its key's number> <name>", so that a name
// given twice is found without comparing every pair.
bool RegistryDocument::parseLine(const QByteArray &line, std::unordered_set<std::string> &names)
{
    if (line.contains('\r'))
        return false;
    if (line.startsWith("key ")) {
        const auto fields = splitFields(line, 2);
        const auto root = fields ? parseCode(fields->at(1)) : std::nullopt;
        if (!root)
            return false;
        const std::string path = fields->at(2).toStdString();
        if (!names.insert("key " + std::to_string(*root) + ' ' + folded(path)).second)
            return false;
        m_keys.push_back({*root, path, {}});
        return true;
    }
    if (line.startsWith("value ") && !m_keys.empty()) {
        const auto fields = splitFields(line, 3);
        const auto type = fields ? parseCode(fields->at(1)) : std::nullopt;
        const auto data = fields ? parseData(fields->at(2)) : std::nullopt;
        if (!type || !data)
            return false;
        RegistryKeyRecord &key = m_keys.back();
        const std::string name = fields->at(3).toStdString();
        if (!names.insert(std::to_string(m_keys.size()) + ' ' + folded(name)).second)
            return false;
        key.values.push_back({name, *type, *data});
        return true;
    }
    return false;
}

QByteArray RegistryDocument::toText() const
{
    QByteArray text = kHeader + '\n';
    for (const RegistryKeyRecord &key : m_keys) {
        text += "key " + codeText(key.root) + ' ' + QByteArray::fromStdString(key.path) + '\n';
        for (const RegistryValueRecord &value : key.values) {
            text += "value " + codeText(value.type) + ' ' + dataText(value.data) + ' ' +
                    QByteArray::fromStdString(value.name) + '\n';
        }
    }
    return text + kEnd + '\n';
}

bool RegistryDocument::isValidName(const std::string &name)
{
    return name.find_first_of("\r\n") == std::string::npos;
}

const RegistryKeyRecord *RegistryDocument::findKey(std::uint32_t root,
                                                   const std::string &path) const
{
    const auto found = std::find_if(m_keys.begin(), m_keys.end(), [&](const RegistryKeyRecord &k) {
        return k.root == root && sameName(k.path, path);
    });
    return found == m_keys.end() ? nullptr : &*found;
}

RegistryKeyRecord &RegistryDocument::ensureKey(std::uint32_t root, const std::string &path)
{
    if (const RegistryKeyRecord *key = findKey(root, path))
        return m_keys[static_cast<std::size_t>(key - m_keys.data())];
    m_keys.push_back({root, path, {}});
    return m_keys.back();
}

const RegistryValueRecord *RegistryDocument::findValue(const RegistryKeyRecord &key,
                                                       const std::string &name)
{
    const auto found =
        std::find_if(key.values.begin(), key.values.end(),
                     [&](const RegistryValueRecord &v) { return sameName(v.name, name); });
    return found == key.values.end() ? nullptr : &*found;
}

void RegistryDocument::setValue(RegistryKeyRecord &key, const RegistryValueRecord &value)
{
    if (const RegistryValueRecord *old = findValue(key, value.name)) {
        key.values[static_cast<std::size_t>(old - key.values.data())] = value;
        return;
    }
    key.values.push_back(value);
}

} // namespace brimo
