#!/bin/sh
# Extracts the translatable texts of the sources into locale/vastrel.pot.
# Texts are marked with _("...") or TrQ("...") (translated where used) and N_("...") (marked only).
set -e
cd "$(dirname "$0")/.."
find src apps -name '*.cpp' -o -name '*.h' 2>/dev/null | LC_ALL=C sort > locale/.sources
xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=N_ --keyword=TrQ --add-comments=TRANSLATORS: \
    --package-name=Vastrel --msgid-bugs-address= --sort-by-file \
    --files-from=locale/.sources --output=locale/vastrel.pot
rm -f locale/.sources
