#include "simulation/JsonReader.h"

#include <QTest>

namespace {

QVariant u(quint64 value)
{
    return QVariant(value);
}

void row(const char* name, const QString& text, bool ok, const QVariant& expected = QVariant())
{
    QTest::newRow(name) << text << ok << expected;
}

} // namespace

class tst_JsonReader : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void tst_JsonReader::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVariant>("expected"); // invalid for null and for every failure

    row("empty text", QString(), true);
    row("blanks only", " \t\r\n", false);
    row("keywords", " \t\r\n[true, false, null]", true, QVariantList{true, false, QVariant()});
    row("capitalised keyword", "True", false);
    row("cut keyword", "tru", false);
    row("trailing text ignored", "true and more", true, true);

    // Commas are optional and extra ones are ignored.
    row("object commas", R"({,"a":1,,"b":[] "c":2,})", true,
        QVariantMap{{"a", u(1)}, {"b", QVariantList()}, {"c", u(2)}});
    row("array commas", "[,1 2,,]", true, QVariantList{u(1), u(2)});
    // The character opening a key is skipped if it starts a token, whatever it is.
    row("key opened by other token", R"({[key": true})", true, QVariantMap{{"key", true}});
    row("key opened by non-token", "{'a\":1}", false);
    row("key without colon", "{\"a\" 1}", false);
    row("ends after colon", "{\"a\":", false);
    row("unclosed object", "{\"a\":1", false);
    row("unclosed array", "[1,2", false);

    // Numbers: with '.' or an exponent double, with leading '-' signed, otherwise unsigned;
    // junk reads as 0.
    row("decimal", "-1.5e2", true, -150.0);
    row("negative", "-3", true, qint64(-3));
    row("positive", "7", true, u(7));
    row("exponent without point", "1e5", true, 100000.0);
    row("lone minus", "-", true, qint64(0));
    row("largest unsigned", "18446744073709551615", true, u(std::numeric_limits<quint64>::max()));

    row("simple escapes", "\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\"", true, "a\"b\\c/d\b\f\n\r\t");
    row("unicode escape", "\"\\u00e9\\u00C9\"", true, QStringLiteral("\u00e9\u00c9"));
    row("unknown escape dropped", "\"a\\qb\"", true, "ab");
    row("quote only", "\"", false);
    row("ends after backslash", "\"abc\\", false);
    row("unicode escape cut short", "\"\\u00e", false);
    row("unicode escape not hex", "\"\\u00g9\"", false);
    row("unicode escape with sign", "\"\\u+0e9\"", false);

    // Deeper nesting fails, so that hostile input cannot exhaust the stack.
    const int max = kd::JsonReader::MaxDepth;
    QVariant deepest = QVariantList();
    for (int i = 1; i < max; ++i)
        deepest = QVariantList{deepest};
    row("512 arrays", QString(max, u'[') + QString(max, u']'), true, deepest);
    row("513 arrays", QString(max + 1, u'[') + QString(max + 1, u']'), false);
    row("100000 open brackets", QString(100000, u'['), false);
    row("100000 open objects", QStringLiteral("{\"a\":").repeated(100000), false);
    // The inner list is wrapped explicitly: clang takes a braced list holding one list as a
    // copy of that list, gcc as a list of one element.
    row("parse after deep failure", "[[1]]", true, QVariantList{QVariant(QVariantList{u(1)})});
}

void tst_JsonReader::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QVariant, expected);

    // One reader for every row, so that a failure must leave it fit for the next text.
    static kd::JsonReader reader;
    bool parsed = !ok;
    const QVariant result = reader.parse(text, parsed);
    QCOMPARE(parsed, ok);
    QCOMPARE(result.typeId(), expected.typeId());
    QCOMPARE(result, expected);
}

QTEST_GUILESS_MAIN(tst_JsonReader)
#include "tst_jsonreader.moc"
