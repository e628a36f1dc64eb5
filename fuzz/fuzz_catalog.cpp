// The catalog's filling of "%@" placeholders and its look-up of keys.
// Input: the pattern, then the arguments, cut at NULs.
#include "FuzzInput.h"

#include "core/texts/Catalog.h"

using namespace parlova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> pieces = fuzz::pieces(data, size);
    const QString pattern = fuzz::text(pieces.front());
    QStringList arguments;
    for (qsizetype i = 1; i < pieces.size(); ++i)
        arguments.append(fuzz::text(pieces[i]));

    const QString filled = core::Catalog::fill(pattern, arguments);
    // Arguments are taken in order and never filled again: the
    // placeholders left are those of the pattern that got no argument.
    const qsizetype placeholders = pattern.count(u"%@");
    qsizetype used = std::min(placeholders, arguments.size());
    qsizetype inserted = 0;
    for (qsizetype i = 0; i < used; ++i)
        inserted += arguments[i].size();
    FUZZ_CHECK(filled.size() == pattern.size() - 2 * used + inserted);
    if (arguments.isEmpty())
        FUZZ_CHECK(filled == pattern);

    // A key that may be anything, unknown ones included.
    const QByteArray key = pieces.front();
    FUZZ_CHECK(!core::Catalog::text(key.constData(), arguments).isNull());
    return 0;
}
