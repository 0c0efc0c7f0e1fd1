#include "app/compare_page.h"

#include "app/result_page_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace lumivert {

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Grouped(std::uintmax_t value) {
    std::string digits = std::to_string(value), grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

bool Measured(const CompareRow& row) { return row.save.failure.empty() && row.measured.failure.empty(); }

// One numeric column: its value where a row has one, and which end of the order is best.
struct Column {
    std::function<std::optional<double>(const CompareRow&)> value;
    bool lowIsBest;
};

std::string Cell(const Column& column, const CompareRow& row, const std::vector<CompareRow>& rows,
                 const std::string& text) {
    const std::optional<double> value = column.value(row);
    if (!value)
        return "<td data-v=\"\">—</td>";
    bool best = true;
    for (const CompareRow& other : rows)
        if (const auto v = column.value(other); v && (column.lowIsBest ? *v < *value : *v > *value))
            best = false;
    const std::string sortValue = std::isinf(*value) ? "1e300" : Format("%.17g", *value);
    return "<td data-v=\"" + sortValue + "\"" + (best ? " class=\"best\"" : "") + ">" + text + "</td>";
}

std::string TableRows(const std::vector<CompareRow>& rows, const ComparePicture& picture) {
    const double pixels = double(picture.width) * picture.height;
    const auto measured = [](auto get) {
        return [get](const CompareRow& row) -> std::optional<double> {
            if (!Measured(row))
                return std::nullopt;
            return get(row);
        };
    };
    const Column time{[](const CompareRow& row) -> std::optional<double> {
                          if (!row.save.failure.empty())
                              return std::nullopt;
                          return row.save.milliseconds;
                      },
                      true};
    const Column size{measured([](const CompareRow& row) { return double(row.measured.bytes); }), true};
    const Column psnr{measured([](const CompareRow& row) { return row.measured.quality.psnr; }), false};
    const Column ssim{[](const CompareRow& row) -> std::optional<double> {
                          if (!Measured(row))
                              return std::nullopt;
                          return row.measured.quality.ssim;
                      },
                      false};
    std::string html;
    for (const CompareRow& row : rows) {
        html += "<tr data-file=\"" + EscapeHtml(row.saved->file) + "\"><td data-v=\"" + EscapeHtml(row.saved->format) +
                "\">" + EscapeHtml(row.saved->format) + "</td><td data-v=\"" + EscapeHtml(row.saved->options) + "\">" +
                EscapeHtml(row.saved->options) + "<br><small>" + EscapeHtml(row.saved->file) + "</small></td>";
        html += Cell(time, row, rows, Format("%.1f", row.save.milliseconds));
        if (!row.save.failure.empty() || !row.measured.failure.empty()) {
            const std::string& why = row.save.failure.empty() ? row.measured.failure : row.save.failure;
            html += "<td class=\"failure\" data-v=\"\" colspan=\"4\">" + EscapeHtml(why) + "</td></tr>\n";
            continue;
        }
        const double bytes = double(row.measured.bytes);
        const PictureQuality& q = row.measured.quality;
        html += Cell(size, row, rows,
                     Grouped(row.measured.bytes) + " B<br><small>24ビットの " +
                         Format("%.1f", 100 * bytes / (3 * pixels)) + " %</small>");
        html += Cell(size, row, rows, Format("%.3f", 8 * bytes / pixels));
        html += Cell(psnr, row, rows, std::isinf(q.psnr) ? "∞" : Format("%.2f", q.psnr));
        html += Cell(ssim, row, rows, q.ssim ? Format("%.4f", *q.ssim) : "—") + "</tr>\n";
    }
    return html;
}

// Size against time on logarithmic axes, each point named by its file.
std::string Chart(const std::vector<CompareRow>& rows) {
    constexpr double kWidth = 720, kHeight = 420, kLeft = 90, kRight = 150, kTop = 20, kBottom = 50;
    std::vector<const CompareRow*> points;
    for (const CompareRow& row : rows)
        if (row.save.failure.empty() && row.measured.failure.empty() && row.measured.bytes > 0)
            points.push_back(&row);
    std::string svg = "<svg id=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"420\" "
                      "viewBox=\"0 0 720 420\" role=\"img\" aria-label=\"サイズと時間\">";
    svg += "<rect x=\"" + Format("%g", kLeft) + "\" y=\"" + Format("%g", kTop) + "\" width=\"" +
           Format("%g", kWidth - kLeft - kRight) + "\" height=\"" + Format("%g", kHeight - kTop - kBottom) +
           "\" fill=\"#fafafa\" stroke=\"#999\"/>";
    if (points.empty())
        return svg + "</svg>";
    // Whole decades around the values on both axes.
    const auto range = [&](auto get) {
        double low = std::numeric_limits<double>::max(), high = 0;
        for (const CompareRow* p : points) {
            const double v = std::max(get(*p), 1e-3);
            low = std::min(low, v), high = std::max(high, v);
        }
        return std::pair{std::floor(std::log10(low)), std::max(std::ceil(std::log10(high)), std::floor(std::log10(low)) + 1)};
    };
    const auto time = [](const CompareRow& r) { return r.save.milliseconds; };
    const auto size = [](const CompareRow& r) { return double(r.measured.bytes); };
    // Plain variables, not structured bindings: the lambdas below capture them.
    const std::pair<double, double> xRange = range(time), yRange = range(size);
    const double x0 = xRange.first, x1 = xRange.second, y0 = yRange.first, y1 = yRange.second;
    const auto X = [&](double v) { return kLeft + (std::log10(std::max(v, 1e-3)) - x0) / (x1 - x0) * (kWidth - kLeft - kRight); };
    const auto Y = [&](double v) { return kHeight - kBottom - (std::log10(v) - y0) / (y1 - y0) * (kHeight - kTop - kBottom); };
    for (double d = x0; d <= x1; ++d)
        svg += "<text x=\"" + Format("%.1f", X(std::pow(10, d))) + "\" y=\"" + Format("%g", kHeight - kBottom + 18) +
               "\" text-anchor=\"middle\">" + Format("%g", std::pow(10, d)) + "</text>";
    for (double d = y0; d <= y1; ++d)
        svg += "<text x=\"" + Format("%g", kLeft - 6) + "\" y=\"" + Format("%.1f", Y(std::pow(10, d)) + 4) +
               "\" text-anchor=\"end\">" + Grouped(static_cast<std::uintmax_t>(std::pow(10, d))) + "</text>";
    svg += "<text x=\"" + Format("%g", (kLeft + kWidth - kRight) / 2) + "\" y=\"" + Format("%g", kHeight - 12) +
           "\" text-anchor=\"middle\">保存の時間 (ms, 対数)</text>"
           "<text x=\"14\" y=\"" + Format("%g", (kTop + kHeight - kBottom) / 2) +
           "\" transform=\"rotate(-90 14 " + Format("%g", (kTop + kHeight - kBottom) / 2) +
           ")\" text-anchor=\"middle\">ファイルのサイズ (バイト, 対数)</text>";
    for (const CompareRow* p : points) {
        const std::string x = Format("%.1f", X(time(*p))), y = Format("%.1f", Y(size(*p)));
        const std::string name = EscapeHtml(p->saved->file);
        svg += "<g class=\"point\"><title>" + name + ": " + Format("%.1f", time(*p)) + " ms, " +
               Grouped(p->measured.bytes) + " B</title><circle cx=\"" + x + "\" cy=\"" + y +
               "\" r=\"5\"/><text x=\"" + Format("%.1f", X(time(*p)) + 8) + "\" y=\"" + Format("%.1f", Y(size(*p)) + 4) +
               "\">" + name + "</text></g>";
    }
    return svg + "</svg>";
}

// What the viewer offers: the picture itself, then every file written.
struct ViewerEntry {
    std::string address; // HTML-escaped
    std::string label;
};

std::vector<ViewerEntry> ViewerEntries(const std::vector<CompareRow>& rows, const ComparePicture& picture) {
    std::vector<ViewerEntry> entries;
    const auto add = [&](const std::string& file, const std::string& label) {
        entries.push_back({EscapeUrlAttribute(picture.folder + file) + "?" + picture.stamp, EscapeHtml(label)});
    };
    if (!picture.original.empty())
        add(picture.original, "元の画像 (" + picture.original + ")");
    for (const CompareRow& row : rows)
        if (row.save.failure.empty())
            add(row.saved->file, std::string(row.saved->format) + " " + row.saved->options + " (" + row.saved->file + ")");
    return entries;
}

std::string Options(const std::vector<ViewerEntry>& entries, std::size_t selected) {
    std::string html;
    for (std::size_t i = 0; i < entries.size(); ++i)
        html += "<option value=\"" + entries[i].address + "\"" + (i == selected ? " selected" : "") + ">" +
                entries[i].label + "</option>";
    return html;
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 1em 2em; color: #222; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; text-align: right; vertical-align: top; }
th { background: #eee; cursor: pointer; user-select: none; }
th[aria-sort=ascending]::after { content: " ▲"; } th[aria-sort=descending]::after { content: " ▼"; }
td:nth-child(-n+2) { text-align: left; }
td.best { background: #d9f2d9; font-weight: bold; } td.best::after { content: " ★"; color: #2a7a2a; }
td.failure { color: #b00; text-align: left; }
#chart text { font-size: 12px; } #chart circle { fill: #3366cc; } #chart .point:hover circle { fill: #e06000; }
#stage { position: relative; overflow: auto; max-width: 100%; max-height: 80vh; border: 1px solid #888;
         background: repeating-conic-gradient(#ddd 0 25%, #fff 0 50%) 0 0 / 16px 16px; outline: none; cursor: ew-resize; }
#stage:focus { box-shadow: 0 0 0 2px #3366cc; }
#canvas { position: relative; }
#canvas img { position: absolute; left: 0; top: 0; width: 100%; height: 100%; image-rendering: pixelated; pointer-events: none; }
#line { position: absolute; top: 0; bottom: 0; width: 0; border-left: 2px solid #f30; pointer-events: none; }
)";

constexpr const char* kScript = R"(
(function () {
  // The table: a click on a header sorts by that column; again, the other way.
  const table = document.getElementById('results');
  table.querySelectorAll('th').forEach((th, column) => th.addEventListener('click', () => {
    const up = th.getAttribute('aria-sort') !== 'ascending';
    table.querySelectorAll('th').forEach(h => h.removeAttribute('aria-sort'));
    th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
    const body = table.tBodies[0];
    const key = row => { const cell = row.cells[Math.min(column, row.cells.length - 1)];
                         return column < row.cells.length ? cell.dataset.v : ''; };
    const rows = Array.from(body.rows);
    rows.sort((a, b) => {
      const x = key(a), y = key(b);
      if (x === '' || y === '') return (x === '') - (y === '');  // rows without a value last
      const d = isNaN(x) || isNaN(y) ? x.localeCompare(y, 'ja') : Number(x) - Number(y);
      return up ? d : -d;
    });
    rows.forEach(row => body.appendChild(row));
  }));

  // The viewer: A left of the split, B right of it; the split follows a drag or the arrow keys.
  const stage = document.getElementById('stage'), canvas = document.getElementById('canvas');
  const a = document.getElementById('imageA'), b = document.getElementById('imageB'), line = document.getElementById('line');
  const width = Number(stage.dataset.width), height = Number(stage.dataset.height);
  let split = Math.round(width / 2), zoom = 1;
  function draw() {
    canvas.style.width = width * zoom + 'px';
    canvas.style.height = height * zoom + 'px';
    a.style.clipPath = 'inset(0 ' + (width - split) * zoom + 'px 0 0)';
    line.style.left = split * zoom + 'px';
    stage.dataset.split = split;
    stage.dataset.zoom = zoom;
    document.getElementById('zoom').textContent = Math.round(zoom * 100) + ' %';
  }
  function splitAt(clientX) {
    split = Math.max(0, Math.min(width, Math.round((clientX - canvas.getBoundingClientRect().left) / zoom)));
    draw();
  }
  document.getElementById('pickA').addEventListener('change', e => { a.src = e.target.value; });
  document.getElementById('pickB').addEventListener('change', e => { b.src = e.target.value; });
  stage.addEventListener('pointerdown', e => { stage.setPointerCapture(e.pointerId); stage.focus(); splitAt(e.clientX); });
  stage.addEventListener('pointermove', e => { if (stage.hasPointerCapture(e.pointerId)) splitAt(e.clientX); });
  stage.addEventListener('keydown', e => {
    const step = e.shiftKey ? 10 : 1;
    if (e.key === 'ArrowLeft') split = Math.max(0, split - step);
    else if (e.key === 'ArrowRight') split = Math.min(width, split + step);
    else return;
    e.preventDefault();
    draw();
  });
  stage.addEventListener('wheel', e => {
    e.preventDefault();
    const box = stage.getBoundingClientRect();
    const px = (e.clientX - box.left + stage.scrollLeft) / zoom, py = (e.clientY - box.top + stage.scrollTop) / zoom;
    zoom = Math.max(1 / 16, Math.min(32, zoom * (e.deltaY < 0 ? 1.25 : 0.8)));
    if (Math.abs(zoom - 1) < 0.01) zoom = 1;
    draw();
    stage.scrollLeft = px * zoom - (e.clientX - box.left);  // the pixel under the pointer stays there
    stage.scrollTop = py * zoom - (e.clientY - box.top);
  }, { passive: false });
  draw();
})();
)";

} // namespace

std::string ComparePageText(const std::vector<CompareRow>& rows, const ComparePicture& picture,
                            double totalMilliseconds) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"UTF-8\">\n"
                       "<meta name=\"lumivert-compare-total-ms\" content=\"" + Format("%.1f", totalMilliseconds) + "\">\n"
                       "<title>すべての形式で比べる</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
    html += "<h1>すべての形式で比べる</h1>\n<p>画像 " + std::to_string(picture.width) + " × " +
            std::to_string(picture.height) + " ピクセル (24ビットで " +
            Grouped(std::uintmax_t(picture.width) * picture.height * 3) + " バイト)。比較全体 " +
            Format("%.1f", totalMilliseconds) + " ms。時間は保存だけ (読み戻しと測定は含まない)。"
            "PSNR は3チャンネル、SSIM は輝度 (11×11 ガウス窓, σ 1.5)。見出しをクリックすると並べ替えます。</p>\n";
    html += "<table id=\"results\"><thead><tr><th>形式</th><th>設定</th><th>時間 (ms)</th><th>サイズ</th>"
            "<th>ビット/画素</th><th>PSNR (dB)</th><th>SSIM</th></tr></thead><tbody>\n" +
            TableRows(rows, picture) + "</tbody></table>\n";
    html += "<h2>サイズと時間</h2>\n" + Chart(rows) + "\n";
    const std::vector<ViewerEntry> entries = ViewerEntries(rows, picture);
    const std::size_t shownA = 0, shownB = std::min<std::size_t>(1, entries.size() - 1);
    const auto address = [&](std::size_t i) { return entries.empty() ? std::string() : entries[i].address; };
    html += "<h2>見比べる</h2>\n<p><label>左 (A): <select id=\"pickA\">" + Options(entries, shownA) +
            "</select></label> <label>右 (B): <select id=\"pickB\">" + Options(entries, shownB) +
            "</select></label> 拡大 <span id=\"zoom\">100 %</span> — ドラッグか ← → で分割線を動かし、ホイールで拡大・縮小。</p>\n";
    html += "<div id=\"stage\" tabindex=\"0\" data-width=\"" + std::to_string(picture.width) + "\" data-height=\"" +
            std::to_string(picture.height) + "\"><div id=\"canvas\"><img id=\"imageB\" alt=\"B\" src=\"" + address(shownB) +
            "\"><img id=\"imageA\" alt=\"A\" src=\"" + address(shownA) + "\"><div id=\"line\"></div></div></div>\n";
    html += std::string("<script>") + kScript + "</script>\n</body></html>\n";
    return html;
}

} // namespace lumivert
