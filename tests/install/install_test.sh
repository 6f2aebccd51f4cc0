#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets: every
# file in its place, the desktop entry and metainfo valid, the manual pages
# readable, and each installed program answering
# --version, --help and a bad option without a display.
#   install_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }

app=org.tarnwick.Tarnwick
for file in bin/tarnwick bin/tarnwick-cli bin/tarnwick-sim \
    share/applications/$app.desktop share/icons/hicolor/scalable/apps/$app.svg share/metainfo/$app.metainfo.xml \
    share/man/man1/tarnwick.1.gz share/man/man1/tarnwick-cli.1.gz share/man/man1/tarnwick-sim.1.gz \
    share/bash-completion/completions/tarnwick-cli \
    share/doc/tarnwick/README.md share/doc/tarnwick/docs/architecture.md share/doc/tarnwick/docs/cli.md share/doc/tarnwick/docs/cli.schema.json share/doc/tarnwick/docs/window.png share/doc/tarnwick/examples/setup_and_status.yaml \
    share/doc/tarnwick/copyright share/doc/tarnwick/changelog.gz; do
  [ -s "$prefix/$file" ] || fail "$file is missing or empty"
done

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$prefix/share/applications/$app.desktop" 2>&1) || fail "desktop entry: $out"
  [ -z "$out" ] || fail "desktop entry: $out"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null 2>&1 ||
    fail "metainfo: $(appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" 2>&1)"
fi
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app.metainfo.xml" || fail "metainfo: release is not $version"

# Manual pages: they render, name the program and hold the exit statuses.
for program in tarnwick tarnwick-cli tarnwick-sim; do
  page=$prefix/share/man/man1/$program.1.gz
  text=$(zcat "$page" | MANWIDTH=100 man -l - 2>&1 | col -b) || fail "man $program does not render"
  grep -q "^NAME" <<<"$text" && grep -q "$program - " <<<"$text" || fail "man $program: no NAME line"
  grep -q "^EXIT STATUS" <<<"$text" || fail "man $program: no EXIT STATUS"
  grep -q -- "--version" <<<"$text" || fail "man $program: options missing"
  grep -q "$version" <<<"$text" || fail "man $program: version $version missing"
done

# The command line's page carries what docs/cli.md documents: every option and
# every key of the JSON output (its schema's own words aside).
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
cli_page=$(zcat "$prefix/share/man/man1/tarnwick-cli.1.gz" | MANWIDTH=1000 man -l - 2>/dev/null | col -b)
for word in $(grep -o -- '--[a-z][a-z-]*' "$source_dir/docs/cli.md" | sort -u) \
    $(grep -o '"[a-z_]*": {' "$source_dir/docs/cli.schema.json" | tr -d '":{ ' | grep -vx -e items -e properties | sort -u); do
  grep -q -- "$word" <<<"$cli_page" || fail "man tarnwick-cli: $word missing"
done

# The installed programs, with no display at all.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$@"; }
for program in tarnwick tarnwick-cli tarnwick-sim; do
  out=$(run "$program" --version 2>&1); status=$?
  [ $status -eq 0 ] && [ "$(head -1 <<<"$out")" = "$program $version" ] ||
    fail "$program --version: status $status, '$out'"
  out=$(run "$program" --help 2>&1); status=$?
  [ $status -eq 0 ] && grep -q "^Usage: $program " <<<"$out" || fail "$program --help: status $status, '$(head -3 <<<"$out")'"
  out=$(run "$program" --no-such-option 2>&1); status=$?
  [ $status -eq 2 ] || fail "$program --no-such-option: status $status (want 2), '$out'"
done
out=$(run tarnwick 2>&1); status=$?
[ $status -eq 2 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && grep -q 'DISPLAY.*WAYLAND_DISPLAY.*tarnwick-cli' <<<"$out" ||
  fail "tarnwick without a display: status $status, '$out'"

[ $failures -eq 0 ] && echo "install: all checks passed"
exit $((failures > 0))
