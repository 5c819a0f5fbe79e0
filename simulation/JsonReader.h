#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

namespace kd {

// Reads the JSON text of a simulation configuration into nested variants: objects become
// QVariantMap, arrays QVariantList, null an invalid variant. Numbers with a '.' or an exponent
// become double, other numbers starting with '-' qint64 and the rest quint64.
//
// The reader is lenient the way hand-written configuration files need it to be: commas between
// members and elements are optional and extra ones are ignored, the character opening a key is
// not checked, and text after the top-level value is ignored.
class JsonReader
{
public:
    // Containers nested deeper than this make the text fail, so that hostile input cannot
    // exhaust the stack.
    static constexpr int MaxDepth = 512;

    // Sets ok to false when the text is not readable; the result is then an invalid variant.
    // The empty text gives an invalid variant with ok true.
    QVariant parse(const QString& text, bool& ok);
    // Where the last failed parse stopped (1-based); 0 after a successful one.
    int errorLine() const { return errorLine_; }
    int errorColumn() const { return errorColumn_; }

private:
    enum Token {
        None = 0,
        ObjectOpen = 1,
        ObjectClose = 2,
        ArrayOpen = 3,
        ArrayClose = 4,
        Colon = 5,
        Comma = 6,
        String = 7,
        Number = 8,
        True = 9,
        False = 10,
        Null = 11
    };

    QVariant parseValue(bool& ok);
    template <typename ReadMember>
    bool parseMembers(Token close, ReadMember readMember);
    QVariant parseObject(bool& ok);
    QVariant parseArray(bool& ok);
    QVariant parseString(bool& ok);
    QVariant parseNumber();

    Token nextToken();
    Token lookAhead();
    void skipBlanks();
    bool matchKeyword(QStringView keyword);

    QStringView text_;
    qsizetype pos_ = 0;
    int depth_ = 0;
    int errorLine_ = 0;
    int errorColumn_ = 0;
};

} // namespace kd
