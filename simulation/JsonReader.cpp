#include "simulation/JsonReader.h"

#include <QVariantList>
#include <QVariantMap>

#include <algorithm>

namespace kd {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool isNumberChar(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' ||
           c == u'E';
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Keeps the nesting count right on every way out of a container.
class DepthGuard
{
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

} // namespace

QVariant JsonReader::parse(const QString& text, bool& ok)
{
    ok = true;
    text_ = text;
    pos_ = 0;
    depth_ = 0;
    if (text_.isEmpty())
        return QVariant();
    errorLine_ = 0;
    errorColumn_ = 0;
    QVariant result = parseValue(ok);
    if (!ok) {
        // Where reading stopped, at the next character that is not blank: 1-based line and
        // column, so that a user can find the fault in a long file.
        skipBlanks();
        const qsizetype at = std::min(pos_, text_.size());
        errorLine_ = 1;
        qsizetype lineStart = 0;
        for (qsizetype i = 0; i < at; ++i) {
            if (text_[i] == u'\n') {
                ++errorLine_;
                lineStart = i + 1;
            }
        }
        errorColumn_ = int(at - lineStart) + 1;
    }
    text_ = QStringView();
    if (!ok)
        return QVariant();
    return result;
}

void JsonReader::skipBlanks()
{
    while (pos_ < text_.size() && isBlank(text_[pos_]))
        ++pos_;
}

bool JsonReader::matchKeyword(QStringView keyword)
{
    if (text_.size() - pos_ < keyword.size())
        return false;
    if (text_.mid(pos_, keyword.size()) != keyword)
        return false;
    pos_ += keyword.size();
    return true;
}

JsonReader::Token JsonReader::nextToken()
{
    skipBlanks();
    if (pos_ >= text_.size())
        return None;
    const QChar c = text_[pos_++];
    switch (c.unicode()) {
    case u'{':
        return ObjectOpen;
    case u'}':
        return ObjectClose;
    case u'[':
        return ArrayOpen;
    case u']':
        return ArrayClose;
    case u':':
        return Colon;
    case u',':
        return Comma;
    case u'"':
        return String;
    case u'-':
        return Number;
    default:
        break;
    }
    if (c >= u'0' && c <= u'9')
        return Number;
    --pos_;
    if (matchKeyword(u"true"))
        return True;
    if (matchKeyword(u"false"))
        return False;
    if (matchKeyword(u"null"))
        return Null;
    return None;
}

JsonReader::Token JsonReader::lookAhead()
{
    const qsizetype saved = pos_;
    const Token token = nextToken();
    pos_ = saved;
    return token;
}

QVariant JsonReader::parseValue(bool& ok)
{
    switch (lookAhead()) {
    case String:
        return parseString(ok);
    case Number:
        return parseNumber();
    case ObjectOpen:
        return parseObject(ok);
    case ArrayOpen:
        return parseArray(ok);
    case True:
        nextToken();
        return QVariant(true);
    case False:
        nextToken();
        return QVariant(false);
    case Null:
        nextToken();
        return QVariant();
    default:
        ok = false;
        return QVariant();
    }
}

template <typename ReadMember>
bool JsonReader::parseMembers(Token close, ReadMember readMember)
{
    const DepthGuard guard(depth_);
    if (depth_ > MaxDepth)
        return false;
    nextToken();
    // Commas between members are optional and extra ones are passed over.
    for (;;) {
        const Token token = lookAhead();
        if (token == None)
            return false;
        if (token == Comma || token == close) {
            nextToken();
            if (token == close)
                return true;
            continue;
        }
        if (!readMember())
            return false;
    }
}

QVariant JsonReader::parseObject(bool& ok)
{
    QVariantMap object;
    ok = parseMembers(ObjectClose, [&] {
        const QString key = parseString(ok).toString();
        if (!ok || nextToken() != Colon)
            return false;
        QVariant value = parseValue(ok);
        if (ok)
            object.insert(key, value);
        return ok;
    });
    return ok ? QVariant(object) : QVariant();
}

QVariant JsonReader::parseArray(bool& ok)
{
    QVariantList array;
    ok = parseMembers(ArrayClose, [&] {
        QVariant value = parseValue(ok);
        if (ok)
            array.append(value);
        return ok;
    });
    return ok ? QVariant(array) : QVariant();
}

QVariant JsonReader::parseString(bool& ok)
{
    skipBlanks();
    // The opening character is taken on trust; keys may start with any token character.
    if (pos_ < text_.size())
        ++pos_;
    QString result;
    for (;;) {
        if (pos_ >= text_.size()) {
            ok = false;
            return QVariant();
        }
        const QChar c = text_[pos_++];
        if (c == u'"')
            return result;
        if (c != u'\\') {
            result.append(c);
            continue;
        }
        if (pos_ >= text_.size()) {
            ok = false;
            return QVariant();
        }
        const QChar escaped = text_[pos_++];
        switch (escaped.unicode()) {
        case u'"':
        case u'\\':
        case u'/':
            result.append(escaped);
            break;
        case u'b':
            result.append(u'\b');
            break;
        case u'f':
            result.append(u'\f');
            break;
        case u'n':
            result.append(u'\n');
            break;
        case u'r':
            result.append(u'\r');
            break;
        case u't':
            result.append(u'\t');
            break;
        case u'u': {
            if (text_.size() - pos_ < 4) {
                ok = false;
                return QVariant();
            }
            // Non-hex digits would otherwise turn silently into a NUL character.
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexValue(text_[pos_ + i]);
                if (digit < 0) {
                    ok = false;
                    return QVariant();
                }
                unit = char16_t(unit * 16 + digit);
            }
            pos_ += 4;
            result.append(QChar(unit));
            break;
        }
        default:
            // Unknown escapes are dropped rather than rejected.
            break;
        }
    }
}

QVariant JsonReader::parseNumber()
{
    skipBlanks();
    const qsizetype start = pos_;
    while (pos_ < text_.size() && isNumberChar(text_[pos_]))
        ++pos_;
    const QStringView number = text_.mid(start, pos_ - start);
    // Texts that do not convert (such as "1-2") read as 0 of their kind.
    if (number.contains(u'.') || number.contains(u'e') || number.contains(u'E'))
        return QVariant(number.toDouble());
    if (number.startsWith(u'-'))
        return QVariant(number.toLongLong());
    return QVariant(number.toULongLong());
}

} // namespace kd
