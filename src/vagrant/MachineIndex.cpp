#include "MachineIndex.h"

#include <string>
#include <string_view>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "Utilities.h"

namespace vesk {

namespace {

// A JSON reader that keeps the machine index's own order of machines (QJsonObject sorts its
// keys) and reads only the members the records need. The whole document is still checked, so
// a file caught in the middle of a rewrite gives no machines at all.
class IndexParser
{
public:
    IndexParser(const char* begin, const char* end) : m_p(begin), m_end(end) {}

    bool parse(VagrantEnvironmentDictionary& machines)
    {
        if (m_end - m_p >= 3 && std::string_view(m_p, 3) == "\xEF\xBB\xBF")
            m_p += 3;
        skipSpace();
        if (peek() == '{') {
            if (!parseTopObject(machines))
                return false;
        } else if (!skipValue()) {
            return false;
        }
        skipSpace();
        return m_p == m_end;
    }

private:
    static constexpr int kMaxDepth = 512;

    char peek() const { return m_p < m_end ? *m_p : '\0'; }

    void skipSpace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool expect(char c)
    {
        skipSpace();
        if (peek() != c)
            return false;
        ++m_p;
        return true;
    }

    // Reads the members of an object whose '{' is next, calling member(key) with the parser
    // positioned on each value; member must consume the value.
    template <typename Member> bool parseObject(Member&& member)
    {
        if (++m_depth > kMaxDepth)
            return false;
        ++m_p; // '{'
        skipSpace();
        if (peek() == '}') {
            ++m_p;
            --m_depth;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string_view key;
            if (peek() != '"' || !parseString(&key))
                return false;
            // The key may live in the scratch buffer, which the value's strings reuse.
            const std::string keyCopy(key);
            if (!expect(':'))
                return false;
            skipSpace();
            if (!member(std::string_view(keyCopy)))
                return false;
            skipSpace();
            if (peek() == ',') {
                ++m_p;
                continue;
            }
            if (peek() == '}') {
                ++m_p;
                --m_depth;
                return true;
            }
            return false;
        }
    }

    bool parseTopObject(VagrantEnvironmentDictionary& machines)
    {
        return parseObject([&](std::string_view key) {
            if (key != "machines")
                return skipValue();
            // A later "machines" replaces an earlier one, as with any JSON reader.
            machines.clear();
            if (peek() != '{')
                return skipValue();
            return parseMachines(machines);
        });
    }

    bool parseMachines(VagrantEnvironmentDictionary& machines)
    {
        return parseObject([&](std::string_view key) {
            const QString id = QString::fromUtf8(key.data(), qsizetype(key.size()));
            if (peek() != '{')
                return skipValue(); // not an entry: left out
            auto record = std::make_shared<VagrantEnvironment>();
            record->setHexId(id);
            if (!parseEntry(*record))
                return false;
            machines.insert(id, std::move(record));
            return true;
        });
    }

    bool parseEntry(VagrantEnvironment& record)
    {
        std::optional<QString> boxName, boxProvider, boxVersion, name, provider, state, path;
        const bool ok = parseObject([&](std::string_view key) {
            if (key == "name")
                return stringValue(name);
            if (key == "provider")
                return stringValue(provider);
            if (key == "state")
                return stringValue(state);
            if (key == "local_data_path")
                return stringValue(path);
            if (key == "extra_data") {
                boxName.reset();
                boxProvider.reset();
                boxVersion.reset();
                if (peek() != '{')
                    return skipValue();
                // Vagrant itself keeps the box one level down ("extra_data": {"box": {...}});
                // members directly inside "extra_data" are read too.
                auto boxMember = [&](std::string_view boxKey) {
                    if (boxKey == "name")
                        return stringValue(boxName);
                    if (boxKey == "provider")
                        return stringValue(boxProvider);
                    if (boxKey == "version")
                        return stringValue(boxVersion);
                    return skipValue();
                };
                return parseObject([&](std::string_view extraKey) {
                    if (extraKey == "box" && peek() == '{')
                        return parseObject(boxMember);
                    return boxMember(extraKey);
                });
            }
            return skipValue();
        });
        if (!ok)
            return false;
        record.setBoxName(std::move(boxName));
        record.setBoxProvider(std::move(boxProvider));
        record.setBoxVersion(std::move(boxVersion));
        record.setName(std::move(name));
        record.setProvider(std::move(provider));
        record.setStateString(std::move(state));
        if (path)
            record.setPath(deletingLastPathComponent(*path));
        return true;
    }

    // A string value sets the property; any other value (null included) leaves it unset.
    bool stringValue(std::optional<QString>& target)
    {
        target.reset();
        if (peek() != '"')
            return skipValue();
        std::string_view text;
        if (!parseString(&text))
            return false;
        target = QString::fromUtf8(text.data(), qsizetype(text.size()));
        return true;
    }

    bool skipValue()
    {
        switch (peek()) {
        case '{':
            return parseObject([this](std::string_view) {
                skipSpace();
                return skipValue();
            });
        case '[':
            return skipArray();
        case '"':
            return parseString(nullptr);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return skipNumber();
        }
    }

    bool skipArray()
    {
        if (++m_depth > kMaxDepth)
            return false;
        ++m_p; // '['
        skipSpace();
        if (peek() == ']') {
            ++m_p;
            --m_depth;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!skipValue())
                return false;
            skipSpace();
            if (peek() == ',') {
                ++m_p;
                continue;
            }
            if (peek() == ']') {
                ++m_p;
                --m_depth;
                return true;
            }
            return false;
        }
    }

    bool literal(std::string_view word)
    {
        if (size_t(m_end - m_p) < word.size() || std::string_view(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool skipNumber()
    {
        if (peek() == '-')
            ++m_p;
        if (peek() == '0') {
            ++m_p;
        } else if (isDigit(peek())) {
            while (isDigit(peek()))
                ++m_p;
        } else {
            return false;
        }
        if (peek() == '.') {
            ++m_p;
            if (!isDigit(peek()))
                return false;
            while (isDigit(peek()))
                ++m_p;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_p;
            if (peek() == '+' || peek() == '-')
                ++m_p;
            if (!isDigit(peek()))
                return false;
            while (isDigit(peek()))
                ++m_p;
        }
        return true;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(unsigned& value)
    {
        if (m_end - m_p < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(m_p[i]);
            if (digit < 0)
                return false;
            value = value * 16 + unsigned(digit);
        }
        m_p += 4;
        return true;
    }

    static void appendUtf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }

    // One well-formed UTF-8 sequence starting at a lead byte >= 0x80; advances past it.
    bool skipUtf8Sequence()
    {
        const auto byte = [this](qsizetype i) { return static_cast<unsigned char>(m_p[i]); };
        const unsigned char lead = byte(0);
        qsizetype length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (m_end - m_p < length)
            return false;
        if (byte(1) < low || byte(1) > high)
            return false;
        for (qsizetype i = 2; i < length; ++i) {
            if (byte(i) < 0x80 || byte(i) > 0xBF)
                return false;
        }
        m_p += length;
        return true;
    }

    // Reads a string whose '"' is next. With a target, it receives the decoded UTF-8 text (a
    // view into the file, or into the scratch buffer when the string has escapes).
    bool parseString(std::string_view* text)
    {
        ++m_p; // '"'
        const char* start = m_p;
        bool escaped = false;
        m_scratch.clear();
        for (;;) {
            if (m_p >= m_end)
                return false;
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                if (text) {
                    if (escaped)
                        m_scratch.append(start, size_t(m_p - start));
                    *text = escaped ? std::string_view(m_scratch)
                                    : std::string_view(start, size_t(m_p - start));
                }
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                if (!skipUtf8Sequence())
                    return false;
                continue;
            }
            if (c != '\\') {
                ++m_p;
                continue;
            }
            // An escape: keep what came before it, then the character it stands for.
            m_scratch.append(start, size_t(m_p - start));
            escaped = true;
            ++m_p;
            if (m_p >= m_end)
                return false;
            const char e = *m_p++;
            switch (e) {
            case '"':
            case '\\':
            case '/':
                m_scratch += e;
                break;
            case 'b':
                m_scratch += '\b';
                break;
            case 'f':
                m_scratch += '\f';
                break;
            case 'n':
                m_scratch += '\n';
                break;
            case 'r':
                m_scratch += '\r';
                break;
            case 't':
                m_scratch += '\t';
                break;
            case 'u': {
                unsigned code;
                if (!hex4(code))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    unsigned low;
                    if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
                        return false;
                    m_p += 2;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    return false;
                }
                appendUtf8(m_scratch, code);
                break;
            }
            default:
                return false;
            }
            start = m_p;
        }
    }

    const char* m_p;
    const char* m_end;
    int m_depth = 0;
    std::string m_scratch;
};

} // namespace

QString defaultPathToMachineIndex()
{
    return QDir::homePath() + QStringLiteral("/.vagrant.d/data/machine-index/index");
}

VagrantEnvironmentDictionary parseMachineIndex(const QByteArray& json)
{
    VagrantEnvironmentDictionary machines;
    IndexParser parser(json.constData(), json.constData() + json.size());
    if (!parser.parse(machines))
        machines.clear();
    return machines;
}

std::optional<VagrantEnvironmentDictionary> readMachineIndex(const QString& path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return VagrantEnvironmentDictionary();
    const std::optional<QByteArray> data = readRegularFile(path);
    if (!data)
        return std::nullopt;
    VagrantEnvironmentDictionary machines;
    IndexParser parser(data->constData(), data->constData() + data->size());
    if (!parser.parse(machines))
        return std::nullopt;
    return machines;
}

VagrantEnvironmentDictionary loadMachineIndex(const QString& path)
{
    const std::optional<QByteArray> data = readRegularFile(path);
    if (!data)
        return {};
    return parseMachineIndex(*data);
}

} // namespace vesk
