#!/usr/bin/env bash
# libpng and FreeType for the Windows builds, cross-compiled as static
# libraries from Debian's own source packages (mingw-w64 has neither
# packaged). zlib is Debian's mingw build (libz-mingw-w64-dev).
#
# Usage: scripts/build-win-deps.sh ARCH PREFIX
#   ARCH: x86_64 or i686; PREFIX: where include/ and lib/ go (inside the
#   build folder). Does nothing when PREFIX already holds these versions.
set -euo pipefail

arch=$1
prefix=$2
here=$(cd "$(dirname "$0")" && pwd)

# Versions on bookworm main. (bookworm-security's libpng source files were
# missing on the mirror; the main suite's are there.)
png_version=1.6.39-2+deb12u5
freetype_version=2.12.1+dfsg-5+deb12u4

# Raised whenever the way they are built below changes.
recipe=2

triplet=$arch-w64-mingw32
stamp="$prefix/.built-$recipe-libpng-$png_version-freetype-$freetype_version"
if [ -f "$stamp" ]; then
    exit 0
fi

bash "$here/install-deps.sh"
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
src="$prefix/src"
rm -rf "$src" "$prefix"/.built-*
mkdir -p "$src"

# apt-get source needs a deb-src entry for the same mirror the machine uses.
if ! apt-cache showsrc libpng1.6 2>/dev/null | grep -q "^Version: $png_version$"; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO tee /etc/apt/sources.list.d/quellor-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    $SUDO apt-get update -qq -o DPkg::Lock::Timeout=300
fi

echo "build-win-deps: libpng $png_version and FreeType $freetype_version for $triplet"
(
    cd "$src"
    apt-get source -qq --download-only "libpng1.6=$png_version" "freetype=$freetype_version" \
        >download.log 2>&1 || { cat download.log; exit 1; }
    dpkg-source -x libpng1.6_*.dsc libpng >/dev/null
    dpkg-source -x freetype_*.dsc freetype >/dev/null
)

toolchain="$here/../cmake/mingw-$arch.cmake"
[ "$arch" = x86_64 ] || [ "$arch" = i686 ] || { echo "build-win-deps: unknown ARCH $arch"; exit 1; }
zlib_args=(-DZLIB_INCLUDE_DIR=/usr/$triplet/include -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a)
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-}")

cmake -S "$src/libpng" -B "$src/libpng-build" "${common[@]}" "${zlib_args[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF >"$src/libpng.log" 2>&1 ||
    { cat "$src/libpng.log"; exit 1; }
cmake --build "$src/libpng-build" --target install >>"$src/libpng.log" 2>&1 ||
    { tail -30 "$src/libpng.log"; exit 1; }

# No optional libraries but zlib (the same one libpng uses: FreeType's own
# copy would define zlib's functions a second time), so nothing beyond
# system DLLs is imported.
cmake -S "$src/freetype" -B "$src/freetype-build" "${common[@]}" "${zlib_args[@]}" \
    -DBUILD_SHARED_LIBS=OFF -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
    -DFT_DISABLE_BROTLI=ON >"$src/freetype.log" 2>&1 || { cat "$src/freetype.log"; exit 1; }
cmake --build "$src/freetype-build" --target install >>"$src/freetype.log" 2>&1 ||
    { tail -30 "$src/freetype.log"; exit 1; }

rm -rf "$src"
touch "$stamp"
