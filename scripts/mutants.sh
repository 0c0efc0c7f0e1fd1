#!/usr/bin/env bash
# Mutation check: does the test suite notice small faults a user would notice?
#
#   scripts/mutants.sh [--only ID[,ID...]] [--keep-scratch] [--reuse-scratch] [--first-failure]
#                      [--skip-slow] [--extra FILE]
#
# Each mutant below is one literal text replacement in the program's source (not in tests/,
# bench/ or fuzz/). The replaced text is looked up wherever it stands in the tree, so the
# list survives files being moved. For each mutant in turn the script copies the committed
# tree into a scratch folder, applies the one replacement, builds the normal preset there
# and runs the whole suite. A mutant is "killed" when the build succeeds and at least one
# test fails, "survived" when every test passes, "stillborn" when it does not compile, and
# "n/a" when its text is not found exactly once (the code changed: update the list).
#
# --first-failure stops each run at its first failing test: quicker, and enough to tell
# killed from survived, but the results then name one killing test, not all of them.
#
# --skip-slow leaves out the tests that take minutes: debian_package (builds and checks the
# package, which no mutant of the program's logic changes) and soak_short (the real window
# driven for minutes; the suite's own tests of each saver see what it would). A mutant that
# survives without them may still be killed by them.
#
# --extra FILE adds the mutants listed in FILE, one a line in the form of the list below.
#
# --keep-scratch leaves the scratch tree and its build; --reuse-scratch starts from such a
# tree (moved to the current commit, so only what changed is rebuilt) and keeps it again.
#
# Slow (a build and a whole suite per mutant) and not run by CI. Results go to
# build/mutants/results.tsv, one line a mutant: id, verdict, the first failing tests.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

only=""
keep=0
stop=()
slow=()
extra=""
reuse=0
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=",$2,"; shift 2 ;;
    --keep-scratch) keep=1; shift ;;
    --first-failure) stop=(--stop-on-failure); shift ;;
    --skip-slow) slow=(-E '^(debian_package|soak_short)$'); shift ;;
    --extra) extra=$(cat "$2") || exit 2; shift 2 ;;
    --reuse-scratch) reuse=1; keep=1; shift ;;
    *) echo "usage: $0 [--only ID[,ID...]] [--keep-scratch] [--reuse-scratch] [--first-failure] [--skip-slow] [--extra FILE]" >&2; exit 2 ;;
  esac
done

# id | what a user would notice | text in the program | replacement
mutants=$(cat <<'EOF'
M01|BMP file size field two bytes off|offBits + header.biSizeImage)|offBits + header.biSizeImage + 2)
M02|BMP colour table written blue for red|out.U8(entry.rgbRed);|out.U8(entry.rgbBlue);
M03|nearest palette entry weighs blue twice|distances[i] = dr * dr + dg * dg + db * db;|distances[i] = dr * dr + dg * dg + 2 * db * db;
M04|grey level truncated instead of rounded|(p.red + p.green + p.blue + 1) / 3|(p.red + p.green + p.blue) / 3
M05|sepia green one step too light|189.0 / 255.0 * green + 66|189.0 / 255.0 * green + 67
M06|purple green rounded up|return {g, g / 2, g};|return {g, (g + 1) / 2, g};
M07|a channel above 255 not clamped|std::min(channel, 255)|std::min(channel, 256)
M08|emboss grey bias 128 instead of 127|GreyLevel(compared) - GreyLevel(pixel) + 127|GreyLevel(compared) - GreyLevel(pixel) + 128
M09|emboss compares the last column with the one before|x == width - 1 ? x : x + 1|x == width - 1 ? x - 1 : x + 1
M10|JPEG quality lowered by a tenth|jpeg_set_quality(&info, quality, TRUE)|jpeg_set_quality(&info, quality * 9 / 10, TRUE)
M11|GIF transparent index off by one|control.TransparentColor = transparentIndex;|control.TransparentColor = transparentIndex + 1;
M12|own GIF never moves the key colour to entry 0|if (pixel == KeyArgb) {|if (pixel == KeyArgb + 1) {
M13|own GIF loses the colour displaced by the transparent entry|entries[collected.ColorCount] = slot0;|entries[collected.ColorCount] = kOpaqueBlack;
M14|halftone dither threshold doubled|(kBayer8[cell / 8][cell % 8] + 0.5) / 64.0|(kBayer8[cell / 8][cell % 8] + 0.5) / 32.0
M15|one second shown as 1000 milliseconds|if (elapsed <= 999)|if (elapsed <= 1000)
M16|"<" in a path not escaped on the page|case '<': escaped += "&lt;"; break;|case '<': escaped += "<"; break;
M17|JPEG quality above 100 becomes 99|return QString("100");|return QString("99");
M18|JPEG quality text truncated instead of rounded|std::nearbyint(*value)|std::trunc(*value)
M19|integer map answers -1 for a missing key|return index == -1 ? 0 : Entries|return index == -1 ? -1 : Entries
M20|registry reports success for a value that does not fit|return ERROR_MORE_DATA;|return ERROR_SUCCESS;
M21|a failed save leaves its temporary file behind|::unlink(tempPath_.c_str());|(void)tempPath_;
M22|encoder identifier off by one format|"{557CF40" + std::to_string(FormatDigit)|"{557CF40" + std::to_string(FormatDigit + 1)
M23|document mode sets the wrong character set|document->SetProperty("Charset", "Shift_JIS");|document->SetProperty("Charset", "UTF-8");
M24|BMP description loses its full-width colon|"ファイル種類：BMP　保存色数："|"ファイル種類：BMP　保存色数:"
M25|JPEG saved under another name|InAppFolder("Sample.jpg")|InAppFolder("Sample.jpeg")
M26|UTF-8 decoder lets low surrogates through|(value >= 0xD800 && value <= 0xDFFF)|(value >= 0xD800 && value <= 0xDBFF)
M27|Chromium not looked for under its usual name|"chromium", "chromium-browser",|"chromium-x", "chromium-browser",
M28|document not asked for again after the second wait|        document = documents.GetHTMLDocument(frame, serverWindow);|        (void)serverWindow;
M29|PNG colour key matches one level too far|channel > ((key.high >> shift) & 0xFF)|channel > ((key.high >> shift) & 0xFF) + 1
M30|Pixels engine writes red and blue swapped|gdi32::SetPixel(dc, x, y, MakeColorValue(p.red, p.green, p.blue));|gdi32::SetPixel(dc, x, y, MakeColorValue(p.blue, p.green, p.red));
M31|a large picture's copy for the imaging layer skips the first row of each later part|for (std::size_t y = first; y < end; ++y)|for (std::size_t y = first == 0 ? first : first + 1; y < end; ++y)
M32|"#" in a file name not escaped in the page's address|case '#': url += "%23"; break;|case '#': url += "#"; break;
M33|result page's title changed|<title>画像確認</title>|<title>画像確認 </title>
M34|a character Shift_JIS lacks written as the wrong reference|out += length == 0 ? NumericReference(0xFFFD) : NumericReference(code);|out += length == 0 ? NumericReference(0xFFFD) : NumericReference(code + 1);
M35|seconds shown with a point whatever the decimal separator|seconds.replace(point, 1, decimalSeparator);|(void)point;
M36|a half-transparent pixel laid over white rounds down|(channel * alpha + 255 * (255 - alpha) + 127) / 255;|(channel * alpha + 255 * (255 - alpha)) / 255;
M37|an empty file called "not a picture" instead of empty|if (file.size() == 0)|if (file.size() < 0)
M38|a GIF cut short in its picture data is opened|return skipSubBlocks(at) < 0;|return false;
M39|a top-down BMP cut short is opened|stride * (height < 0 ? -height : height);|stride * (height < 0 ? 0 : height);
M40|a save through a symbolic link replaces the link|target_ = FollowLinks(path_);|target_ = path_;
M41|a replaced file loses its permission bits|return ::fchmod(fd, old.st_mode & (ownersKept ? 07777 : 0777)) == 0;|return ::fchmod(fd, 0644) == 0;
M42|a read-only file is replaced when root saves|if ((existing.st_mode & 0222) == 0|if ((existing.st_mode & 0222) == 0xFFFF
M43|a file rewritten in place keeps its old tail|truncateFirst_ = true;|truncateFirst_ = false;
M44|the browser's profile folder is left behind when it closes|RemoveProfileFolder(found->second.profileFolder);|(void)found;
M45|a page id with a slash or a dot reaches the DevTools address|(c >= '0' && c <= '9')|(c >= '-' && c <= '9')
M46|a keyed collection forgets where later keys are after a removal|        Renumber(index);|        (void)index;
M47|a keyed collection misplaces keys after an insertion|Renumber(static_cast<std::size_t>(insertAt) + 1);|Renumber(static_cast<std::size_t>(insertAt) + 2);
M48|small numbers written with one zero too many|text += "0." + std::string(static_cast<std::size_t>(-beforePoint), '0') + digits;|text += "0." + std::string(static_cast<std::size_t>(-beforePoint + 1), '0') + digits;
M49|registry key names compared with letter case|    return Lower(result);|    return result;
M50|a registry key's name prefix counts as its parent|existing.second.starts_with(prefix))|existing.second.starts_with(name.second))
M51|the red transparent colour one step off|RGB(255, 0, 51), -1};|RGB(255, 0, 52), -1};
M52|the picture's tool-tip shows width twice|.arg(size.height()));|.arg(size.width()));
M53|the open failure message puts the reason before the file|.arg(QDir::toNativeSeparators(path), opened.error);|.arg(opened.error, QDir::toNativeSeparators(path));
M54|the transparent colour's RGB written without spaces|" = RGB(%1, %2, %3)"|" = RGB(%1,%2,%3)"
M55|the GIF frame's caption changed|"GIFで保存する(処理はやや重い)"|"GIFで保存する(処理は重い)"
M56|JPEG quality box starts at 90|new QLineEdit("100", frmSaveJpg)|new QLineEdit("90", frmSaveJpg)
M57|the 16-colour option saves 8 bits|{"16色", "4", ""|{"16色", "8", ""
M58|GetDIBits failure message changed|"GetDIBits API関数でエラーが発生したようですが…"|"GetDIBits API関数でエラーが発生したようですが"
M59|the 8-bit BMP save writes 4 bits|        return SaveBmp8Bit(dc, path);|        return SaveBmp4Bit(dc, path);
M60|GIF rows written upside down|const std::uint8_t* row = indexes + static_cast<std::size_t>(width) * y;|const std::uint8_t* row = indexes + static_cast<std::size_t>(width) * (height - 1 - y);
M61|JPEG written with red and blue swapped|info.in_color_space = JCS_EXT_BGRX;|info.in_color_space = JCS_EXT_RGBX;
M62|an oversized hand-over message is still opened|if (!path.isEmpty() && !socket->property("refused").toBool())|if (!path.isEmpty())
M63|the BROWSER variable is ignored|Split(Environment("BROWSER"), ':')|Split(Environment("BROWSER_X"), ':')
M64|the result document's title changed|document->SetProperty("Title", "画像確認");|document->SetProperty("Title", "画像確認 ");
M65|the no-document message changed|"生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした。"|"生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした"
M66|a missing file is opened in the browser anyway|if (!filePath.empty() && !FileExists(filePath))|if (filePath.empty() && !FileExists(filePath))
M67|GetDIBits turns bottom-up pictures upside down|header.biHeight > 0, height,|header.biHeight < 0, height,
M68|characters beyond the first plane lose a bit in UTF-16|out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));|out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FE));
M69|8-bit BMP takes the higher level on a tie|if (difference * difference < bestDistance) {|if (difference * difference <= bestDistance) {
M70|a large JPEG's restart markers misnumbered|0xD0 + (band - 1) % 8|0xD0 + band % 8
M71|a flat area of an indexed BMP runs into the next colour|while (end + kBlock <= width && allOf(source + end, colour))|while (end + kBlock <= width && allOf(source + end, source[end]))
EOF
)
[ -n "$extra" ] && mutants+=$'\n'"$extra"

out="$root/build/mutants"
scratch="$out/scratch"
mkdir -p "$out"
results="$out/results.tsv"
: > "$results"
sources=(--exclude-dir=.git --exclude-dir=build --exclude-dir=tests --exclude-dir=bench
         --exclude-dir=fuzz --exclude-dir=docs --exclude-dir=scripts --include=*.cpp --include=*.h)

if [ "$reuse" = 1 ] && [ -d "$scratch/build/default" ]; then
  # The scratch tree of an earlier run, moved to this commit: only what changed is rebuilt.
  git -C "$scratch" checkout --detach -q -f "$(git rev-parse HEAD)" || exit 1
else
  rm -rf "$scratch"
  git worktree prune
  git worktree add --detach -q "$scratch" HEAD
fi
# The first build of the scratch tree is shared by every mutant; each then rebuilds what
# its one changed file touches. The benchmarks are left out (no test runs them), and the
# test programs are linked by lld where it is installed (it relinks them in a fraction of
# the time).
linker=()
command -v ld.lld >/dev/null && linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
(cd "$scratch" && cmake --preset default -DLUMIVERT_BUILD_BENCH=OFF "${linker[@]}" >/dev/null &&
  cmake --build --preset default >/dev/null) || {
  echo "mutants: the unmutated tree does not build" >&2; exit 1; }

killed=0; survived=0; other=0
while IFS='|' read -r id what from to; do
  [ -z "$id" ] && continue
  if [ -n "$only" ] && [[ "$only" != *",$id,"* ]]; then continue; fi
  files=$(cd "$scratch" && grep -rlF "${sources[@]}" -- "$from" . || true)
  count=0
  [ -n "$files" ] && count=$(cd "$scratch" && cat $files | grep -cF -- "$from")
  if [ "$count" != 1 ]; then
    printf '%s\tn/a\t%s occurrences\t%s\n' "$id" "$count" "$what" | tee -a "$results"
    other=$((other + 1)); continue
  fi
  file="$scratch/${files#./}"
  cp "$file" "$file.orig"
  FROM="$from" TO="$to" python3 - "$file" <<'PY'
import os, sys
path = sys.argv[1]
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace(os.environ["FROM"], os.environ["TO"], 1))
PY
  if ! (cd "$scratch" && cmake --build --preset default >"$out/$id.build.log" 2>&1); then
    verdict=stillborn; failing=""; other=$((other + 1))
  elif (cd "$scratch" && ctest --preset default -j2 --timeout 300 "${stop[@]}" "${slow[@]}" >"$out/$id.test.log" 2>&1); then
    verdict=survived; failing=""; survived=$((survived + 1))
  else
    verdict=killed; killed=$((killed + 1))
    failing=$(grep -vF '(Skipped)' "$out/$id.test.log" | grep -oE '[0-9]+ - [^ ]+' | sed 's/^[0-9]* - //' | head -5 | paste -sd, -)
  fi
  mv "$file.orig" "$file"
  touch "$file"
  printf '%s\t%s\t%s\t%s\n' "$id" "$verdict" "$failing" "$what" | tee -a "$results"
done <<< "$mutants"

(cd "$scratch" && cmake --build --preset default >/dev/null 2>&1)
[ "$keep" = 1 ] || { git worktree remove --force "$scratch"; git worktree prune; }
echo "mutants: $killed killed, $survived survived, $other stillborn or not found (results in $results)"
