#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, moves that prefix elsewhere, and checks that the
# command lines still find their windows and that the installed files are where a desktop looks for them.
# Usage: install_tree.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
prefix=$work/moved
for f in bin/tamarquill bin/brindlecorpc libexec/brindlecor/tamarquill-window libexec/brindlecor/brindlecorpc-window \
         share/man/man1/tamarquill.1.gz share/man/man1/brindlecorpc.1.gz \
         share/bash-completion/completions/tamarquill share/bash-completion/completions/brindlecorpc \
         share/applications/tamarquill.desktop share/applications/brindlecorpc.desktop \
         share/mime/packages/brindlecor.xml share/icons/hicolor/scalable/apps/tamarquill.svg \
         share/icons/hicolor/48x48/apps/brindlecorpc.png share/doc/tamarquill/examples/demo/demo.kvd \
         share/doc/tamarquill/copyright; do
    [ -e "$prefix/$f" ] || fail "missing $f"
done
for program in tamarquill brindlecorpc; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$program" 2>&1 || true)
    grep -q "no display" <<<"$said" || fail "the moved $program does not find its window: $said"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate --no-hints "$prefix"/share/applications/*.desktop || fail "desktop entries"
fi
echo "install tree ok"
