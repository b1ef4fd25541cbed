#!/usr/bin/env bash
# The Debian package as a user gets it: its control data and file list,
# lintian's verdict, the licence, changelog and manual pages, the desktop entry
# and AppStream data checked by their own validators, and the copy unpacked
# into a scratch root (dpkg -x) started far enough to show the first screen.
# $1 = the .deb (scripts/package prints its path). Needs an X display; without
# one it runs itself under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/../.."
deb="$(realpath "$1")"

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$deb"
fi

fail() { echo "package check: $1" >&2; exit 1; }

version="$(sed -n 's/^project(Veltrana VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || fail "no version in project() of CMakeLists.txt"
[ "$(basename "$deb")" = "veltrana_${version}_amd64.deb" ] || fail "$(basename "$deb") is not veltrana_${version}_amd64.deb"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = veltrana ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', CMake says $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = video ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | wc -l)" -ge 3 ] || fail "the Description has no long text"
depends="$(field Depends)"
# the linked libraries as dpkg-shlibdeps found them, and what is only read at run time
for dep in 'libmpv2 ' 'libwebrtc-audio-processing1' 'libqt6widgets6 ' 'libqt6gui6 ' 'libstdc++6 ' \
           'fonts-noto-cjk | fonts-arphic-ukai' 'qt6-translations-l10n'; do
  case "$depends" in *"$dep"*) ;; *) fail "Depends lacks '$dep': $depends" ;; esac
done

contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}')"
expected=(./usr/bin/veltrana ./usr/share/applications/veltrana.desktop
          ./usr/share/metainfo/veltrana.metainfo.xml
          ./usr/share/icons/hicolor/scalable/apps/veltrana.svg
          ./usr/share/doc/veltrana/copyright ./usr/share/doc/veltrana/changelog.gz
          ./usr/share/man/man1/veltrana.1.gz ./usr/share/man/zh_CN/man1/veltrana.1.gz)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/veltrana.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
done
metainfo="$(grep -x '\./usr/share/metainfo/.*\.metainfo\.xml' <<<"$contents")" || fail "the package has no AppStream metainfo"
! grep -q '\.so\(\.[0-9]*\)*$' <<<"$contents" || fail "the package ships libraries: $(grep '\.so' <<<"$contents")"
outside="$(grep -vxE '\./|\./usr/.*' <<<"$contents" || true)"
[ -z "$outside" ] || fail "files outside /usr: $outside"

# Debian's own checker: any error or warning fails (its infos are advice).
# It only warns when run as root, which CI does.
lintian_options=(--tag-display-limit 0 --fail-on error,warning)
[ "$(id -u)" -ne 0 ] || lintian_options+=(--allow-root)
lintian_out="$(lintian "${lintian_options[@]}" "$deb" 2>&1)" || fail "lintian refused the package:
$lintian_out"

root="$(mktemp -d /tmp/veltrana-package-XXXXXX)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
dpkg -x "$deb" "$root/fs"

doc="$root/fs/usr/share/doc/veltrana"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" || fail "the copyright file is not in the machine-readable format"
grep -qx 'License: GPL-3+' "$doc/copyright" || fail "the copyright file does not name GPL-3+"
grep -qF '/usr/share/common-licenses/GPL-3' "$doc/copyright" || fail "the copyright file does not point at the GPL's text"
[ "$(zcat "$doc/changelog.gz" | head -1)" = "veltrana ($version) unstable; urgency=medium" ] || fail "the changelog does not begin with version $version"
# gzip -n: no file name and a zero time in the header, so a rebuild gives the same bytes
for gz in "$doc/changelog.gz" "$root"/fs/usr/share/man/{,zh_CN/}man1/veltrana.1.gz; do
  [ "$(od -An -tx1 -N8 "$gz" | tr -d ' ')" = 1f8b080000000000 ] || fail "$gz keeps a name or a time in its header"
done
# both manual pages render, carry the version and describe every option --help lists
options="$(env -u LD_LIBRARY_PATH "$root/fs/usr/bin/veltrana" --help | grep -oE '^  -[-a-z]*(, -[-a-z]*)*' | tr ',' ' ')"
[ -n "$options" ] || fail "veltrana --help lists no options"
for page in "$root"/fs/usr/share/man/{,zh_CN/}man1/veltrana.1.gz; do
  text="$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1)" || fail "man -l $page failed: $text"
  grep -q "^veltrana $version " <<<"$text" || fail "$page does not give version $version"
  for option in $options; do
    grep -qE -- "(^|[ (])$option([ ,)]|$)" <<<"$text" || fail "$page does not describe $option"
  done
done

desktop-file-validate "$root/fs/usr/share/applications/veltrana.desktop" || fail "desktop-file-validate refused the desktop entry"
# The id is the desktop entry's name, as the program owns no domain to make a
# reverse-DNS one of (packaging/Packaging.cmake); the validator's warning about
# that, the one it lets a project lower, is lowered. Everything else counts.
appstream_options=(--no-net --override=cid-desktopapp-is-not-rdns=info)
appstreamcli validate --pedantic "${appstream_options[@]}" "$root/fs/$metainfo" || fail "appstreamcli refused $metainfo"
# the metainfo's launchable names the desktop entry that is really installed
appstreamcli validate-tree "${appstream_options[@]}" "$root/fs" >/dev/null || fail "appstreamcli validate-tree refused the installed tree"
grep -qx '  <project_license>GPL-3.0-or-later</project_license>' "$root/fs/$metainfo" || fail "the metainfo does not name GPL-3.0-or-later"
grep -qx 'Exec=veltrana %f' "$root/fs/usr/share/applications/veltrana.desktop" || fail "the desktop entry starts something else"
grep -qx 'Icon=veltrana' "$root/fs/usr/share/applications/veltrana.desktop" || fail "the desktop entry names another icon"
grep -q "<release version=\"$version\"" "$root/fs/$metainfo" || fail "the metainfo's release is not $version"
for size in 16 32 48 64 128 256; do
  kind="$(file -b "$root/fs/usr/share/icons/hicolor/${size}x${size}/apps/veltrana.png")"
  [[ "$kind" == "PNG image data, $size x $size,"* ]] || fail "the ${size}x${size} icon is $kind"
done

program="$root/fs/usr/bin/veltrana"
# (whole outputs are held in variables: a pipe into grep -q may cut its writer off, which pipefail counts as failure)
searchpath="$(readelf -d "$program" | grep -E 'RPATH|RUNPATH' || true)"
[ -z "$searchpath" ] || fail "the installed program keeps a library search path: $searchpath"
missing="$(env -u LD_LIBRARY_PATH ldd "$program" | grep 'not found' || true)"
[ -z "$missing" ] || fail "libraries not found: $missing"

out="$(env -u LD_LIBRARY_PATH "$program" --version)" || fail "veltrana --version failed"
grep -qF "$version" <<<"$out" || fail "veltrana --version says '$out', CMake says $version"

# The unpacked copy, alone: no library path, no build folder, a home of its own.
mkdir -p "$root/home"
# xvfb-run leaves its cookie where the real home's ~/.Xauthority would be
xauthority="${XAUTHORITY:-$HOME/.Xauthority}"
(cd "$root/home" && exec env -u LD_LIBRARY_PATH -u QT_QPA_PLATFORM -u QT_PLUGIN_PATH \
   HOME="$root/home" XAUTHORITY="$xauthority" XDG_STATE_HOME="$root/home/state" XDG_CONFIG_HOME="$root/home/config" \
   "$program" >"$root/program.log" 2>&1) &
pid=$!
win=""
for _ in $(seq 1 100); do
  win="$(xdotool search --onlyvisible --name '^Veltrana时间轴$' 2>/dev/null | head -1 || true)"
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || { cat "$root/program.log" >&2; fail "the installed program ended before showing a window"; }
  sleep 0.2
done
[ -n "$win" ] || { cat "$root/program.log" >&2; fail "the installed program showed no window titled Veltrana时间轴 within 20 s"; }
[ "$(xdotool getwindowpid "$win" 2>/dev/null || true)" = "$pid" ] || fail "the window does not belong to the unpacked program"
[ "$(readlink "/proc/$pid/exe")" = "$program" ] || fail "the running program is $(readlink "/proc/$pid/exe"), not the unpacked copy"
# the icon the task bar shows comes from the package's own share/icons
icon="$(xprop -len 16 -id "$win" _NET_WM_ICON)"
[[ "$icon" == "_NET_WM_ICON(CARDINAL) = "* ]] || fail "the window has no icon: $icon"

echo "package check: $(basename "$deb"), $(stat -c %s "$deb") bytes, Installed-Size $(field Installed-Size) KiB; first screen shown by the unpacked copy"
