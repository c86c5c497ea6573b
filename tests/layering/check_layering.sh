#!/usr/bin/env bash
# Checks the layer order of the tree and fails on a breach:
#  - Qt headers only in gui/ halves, apps/ and the GUI tests; no Qt link outside them;
#  - a folder includes and links only itself and the folders below it (the table below); a gui/ half
#    also the gui/ halves of those folders; apps/ everything;
#  - tests/<folder> keeps the rules of src/<folder>; every test may use tests/support (its gui/ half
#    only the GUI tests), which itself uses the engine's folders (its gui/ half the editor's dialogs).
# Usage: check_layering.sh [source-root]
set -u
root=${1:-.}
cd "$root" || exit 2

# The folders each folder may depend on. A gui/ half may use its own folder, what that folder may
# use, and the gui/ halves of those. An item with a "/" names one unit of a higher folder (its .h and
# .cpp) that the folder compiles into itself instead of linking that folder: the folder may include it
# and compile it, and the unit itself may include only what the folder may use.
layers='
rtl:
platform: rtl
foundation: rtl platform
archive: rtl platform foundation
backup: rtl platform foundation archive
scheduling: rtl platform foundation archive backup
mainwindow: rtl platform foundation archive backup scheduling
tools: rtl platform foundation archive backup scheduling
starter: rtl platform foundation archive backup scheduling tools
restore: rtl platform foundation archive tools/QvFileList backup/SecurityCopyNames backup/gui/PreviewDlg backup/gui/TimeCompareDlg
planer: rtl platform foundation archive backup scheduling tools
support: rtl platform foundation archive backup
'

sources=$(find src apps tests -type f \( -name '*.h' -o -name '*.cpp' \) -not -path 'tests/fixtures/*' | sort)
cmakes=$(find src apps tests -name CMakeLists.txt -not -path 'tests/fixtures/*' | sort)

# One stream of facts for the checker:
#   L <layer table line>       F <file that exists>
#   I <file>:<line>            an #include "..." line
#   Q <file>:<line>            an #include of a Qt header
#   K <CMakeLists.txt> <text>  a CMake file without comments and "if(TARGET vastrel::x)" tests
{
    printf '%s\n' "$layers" | sed -n 's/^\([a-z]*\):/L \1:/p'
    printf '%s\n' "$sources" | sed 's/^/F /'
    # shellcheck disable=SC2086
    grep -HE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' $sources | sed 's/^/I /'
    # shellcheck disable=SC2086
    grep -HE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]+|Qt[A-Za-z]*/)' $sources | sed 's/^/Q /'
    for f in $cmakes; do
        printf 'K %s %s\n' "$f" "$(sed -e 's/#.*//' -e 's/TARGET[[:space:]]\+vastrel::[a-z_]*//g' "$f" | tr '\n' ' ')"
    done
} | awk '
function layerOf(p,    rest, top) {
    if (p ~ /^apps\//) return "apps"
    if (p ~ /^src\//) rest = substr(p, 5)
    else if (p ~ /^tests\//) rest = substr(p, 7)
    else return ""
    if (index(rest, "/") == 0) return ""
    top = substr(rest, 1, index(rest, "/") - 1)
    if (substr(rest, length(top) + 1, 5) == "/gui/") return top "/gui"
    return top
}
function isGui(l) { return l ~ /\/gui$/ }
function base(l) { sub(/\/gui$/, "", l); return l }
function allowed(from, to,    fb, tb) {
    if (from == to || from == "apps") return 1
    fb = base(from); tb = base(to)
    if (tb == "support") return !isGui(to) || isGui(from) || fb == "support"
    if (isGui(to) && !isGui(from)) return 0
    if (fb == tb) return 1
    return ((fb SUBSEP tb) in below)
}
function normalize(p,    n, parts, out, k, m) {
    n = split(p, parts, "/"); m = 0
    for (k = 1; k <= n; k++) {
        if (parts[k] == "" || parts[k] == ".") continue
        if (parts[k] == "..") { if (m > 0) m--; continue }
        out[++m] = parts[k]
    }
    p = ""
    for (k = 1; k <= m; k++) p = p (k > 1 ? "/" : "") out[k]
    return p
}
function breach(text) { print "layering: " text; bad = 1 }
# The unit of a source path below src/ ("tools/QvFileList"), or "".
function unitOf(p) {
    if (p !~ /^src\//) return ""
    p = substr(p, 5); sub(/\.(h|cpp)$/, "", p)
    return p
}
# Whether layer `from` compiles the shared unit of path p (a gui unit only into a gui half).
function sharedUnit(from, p,    u) {
    u = unitOf(p)
    if (u == "" || !((base(from) SUBSEP u) in shared)) return 0
    return u !~ /\/gui\// || isGui(from)
}
$1 == "L" {
    name = $2; sub(/:$/, "", name)
    for (k = 3; k <= NF; k++) {
        if (index($k, "/")) { shared[name, $k] = 1; units[name, $k] = 1 }
        else below[name, $k] = 1
    }
    next
}
$1 == "F" { exists[$2] = 1; next }
$1 == "Q" {
    line = substr($0, 3); f = substr(line, 1, index(line, ":") - 1)
    if (f !~ /\/gui\// && f !~ /^apps\//) breach(f " includes Qt: " substr(line, length(f) + 2))
    next
}
$1 == "I" {
    line = substr($0, 3); f = substr(line, 1, index(line, ":") - 1)
    inc = line; sub(/^[^"]*"/, "", inc); sub(/".*$/, "", inc)
    dir = f; sub(/\/[^\/]*$/, "", dir)
    target = ""
    if (("src/" inc) in exists) target = "src/" inc
    else if (("tests/" inc) in exists) target = "tests/" inc
    else if (normalize(dir "/" inc) in exists) target = normalize(dir "/" inc)
    if (target == "") next
    from = layerOf(f); to = layerOf(target)
    if (from == "" || to == "") next
    includes[f] = includes[f] SUBSEP target
    if (!allowed(from, to) && !sharedUnit(from, target)) breach(f " (" from ") includes \"" inc "\" (" to ")")
    next
}
$1 == "K" {
    f = $2; from = layerOf(f)
    text = substr($0, length(f) + 4)
    if (f !~ /\/gui\// && f !~ /^apps\// && f !~ /^tests\// && text ~ /(Qt6?::|find_package\(Qt)/)
        breach(f " links Qt")
    if (from == "") next
    delete seen
    while (match(text, /vastrel::[a-z_]+/)) {
        lib = substr(text, RSTART, RLENGTH); text = substr(text, RSTART + RLENGTH)
        if (lib in seen) continue
        seen[lib] = 1
        name = substr(lib, 10)
        if (name ~ /^test_/ || name ~ /^gui_test/) to = "support"
        else if (name ~ /_gui$/) { to = name; sub(/_gui$/, "/gui", to) }
        else to = name
        if (!allowed(from, to)) breach(f " (" from ") links " lib " (" to ")")
    }
    # sources of other folders compiled here: only shared units
    text = substr($0, length(f) + 4)
    while (match(text, /src\/[A-Za-z_\/]+\.cpp/)) {
        src = substr(text, RSTART, RLENGTH); text = substr(text, RSTART + RLENGTH)
        to = layerOf(src)
        if (to != from && !sharedUnit(from, src)) breach(f " (" from ") compiles " src " (" to ")")
    }
    next
}
END {
    # A shared unit includes only what the folder that compiles it may use (or other shared units).
    for (key in units) {
        split(key, parts, SUBSEP); borrower = parts[1]; u = parts[2]
        if (u ~ /\/gui\//) borrower = borrower "/gui"
        for (ext = 1; ext <= 2; ext++) {
            f = "src/" u (ext == 1 ? ".h" : ".cpp")
            if (!(f in exists)) continue
            n = split(includes[f], targets, SUBSEP)
            for (k = 2; k <= n; k++) {
                t = targets[k]
                if (unitOf(t) == u || allowed(borrower, layerOf(t)) || sharedUnit(borrower, t)) continue
                breach(f " (shared with " borrower ") includes " t " (" layerOf(t) ")")
            }
        }
    }
    if (!bad) print "layering: ok"
    exit bad
}
'
