#include "referee/elo_plot.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

#include "referee/xml.h"

namespace Kelp {

namespace {

constexpr const char* FONT = "DejaVu Sans, Helvetica, Arial, sans-serif";
constexpr const char* ESTIMATE_COLOUR = "#08519c";
constexpr const char* BAND_COLOUR = "#9ecae1";
constexpr const char* BAND_EDGE_COLOUR = "#2171b5";
constexpr const char* CLIP_COLOUR = "#d62728";
constexpr const char* MINUS = "\u2212";  // typographic minus for tick labels

constexpr double DEFAULT_MIN_LIMIT = 25.0;
constexpr double DEFAULT_MAX_LIMIT = 800.0;

// 1, 2 or 5 times a power of ten, near span / target.
double niceStep(double span, double target) {
  const double raw = span / target;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double factor = norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0;
  return factor * magnitude;
}

// Font size that keeps a one-line text within `available` pixels (DejaVu
// Sans averages about 0.58 em per character).
double fittingFontSize(std::string_view text, double size, double available) {
  std::size_t characters = 0;
  for (char ch : text)
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++characters;
  const double estimate = 0.58 * size * static_cast<double>(characters);
  return estimate > available ? std::max(9.0, size * available / estimate) : size;
}

std::string eloTickLabel(double v) {
  const long long rounded = std::llround(v);
  if (rounded == 0) return "0";
  return fmt::format("{}{}", rounded > 0 ? "+" : MINUS, std::llabs(rounded));
}

struct Range {
  double lo;
  double hi;
  double step;
};

// The multiples of the step inside the range.
std::vector<double> ticks(const Range& r) {
  std::vector<double> out;
  const double first = std::ceil(r.lo / r.step - 1e-9);
  for (double k = first; k * r.step <= r.hi + r.step * 1e-9 && out.size() < 100; k += 1.0)
    out.push_back(k * r.step);
  return out;
}

// The Elo axis: every finite value of the settled part of the series and 0.
Range eloRange(const std::vector<EloEstimate>& points, const EloPlotOptions& options) {
  if (options.eloLimit && std::isfinite(*options.eloLimit) && *options.eloLimit > 0.0) {
    const double limit = *options.eloLimit;
    return {-limit, limit, niceStep(2.0 * limit, 8.0)};
  }
  double lo = 0.0;
  double hi = 0.0;
  if (!points.empty()) {
    const std::int64_t maxGames = points.back().games();
    auto include = [&](const std::optional<double>& v) {
      if (v && std::isfinite(*v)) {
        lo = std::min(lo, *v);
        hi = std::max(hi, *v);
      }
    };
    for (const EloEstimate& p : points) {
      if (p.games() * 4 < maxGames) continue;
      include(p.elo);
      include(p.low);
      include(p.high);
    }
  }
  lo = std::max(lo, -DEFAULT_MAX_LIMIT);
  hi = std::min(hi, DEFAULT_MAX_LIMIT);
  const double pad = std::max(0.08 * (hi - lo), 5.0);
  lo = std::min(lo - pad, -DEFAULT_MIN_LIMIT);
  hi = std::max(hi + pad, DEFAULT_MIN_LIMIT);
  const double step = niceStep(hi - lo, 7.0);
  lo = std::max(std::floor(lo / step) * step, -DEFAULT_MAX_LIMIT);
  hi = std::min(std::ceil(hi / step) * step, DEFAULT_MAX_LIMIT);
  return {lo, hi, step};
}

Range gamesRange(const std::vector<EloEstimate>& points) {
  const double maxGames = points.empty() ? 10.0 : static_cast<double>(points.back().games());
  const double step = std::max(1.0, niceStep(maxGames, 8.0));
  return {0.0, std::max(step, std::ceil(maxGames / step) * step), step};
}

// A value placed on the Elo axis: its pixel row and whether it was clipped to
// an edge (beyond the range, or unbounded).
struct Placed {
  double y;
  bool clipped;
};

class Canvas {
 public:
  Canvas(const EloPlotOptions& o, Range games, Range elo)
      : games_(games),
        elo_(elo),
        left_(82.0),
        right_(o.width - 28.0),
        top_(74.0),
        bottom_(o.height - 92.0) {}

  double x(double games) const {
    return left_ + (games - games_.lo) / (games_.hi - games_.lo) * (right_ - left_);
  }
  double y(double elo) const {
    return top_ + (elo_.hi - elo) / (elo_.hi - elo_.lo) * (bottom_ - top_);
  }

  // unboundedUp chooses the edge for an empty value.
  Placed place(const std::optional<double>& v, bool unboundedUp) const {
    if (!v || !std::isfinite(*v)) return {unboundedUp ? top_ : bottom_, true};
    if (*v > elo_.hi) return {top_, true};
    if (*v < elo_.lo) return {bottom_, true};
    return {y(*v), false};
  }

  double left() const { return left_; }
  double right() const { return right_; }
  double top() const { return top_; }
  double bottom() const { return bottom_; }
  const Range& games() const { return games_; }
  const Range& elo() const { return elo_; }

 private:
  Range games_;
  Range elo_;
  double left_, right_, top_, bottom_;
};

// Where the estimate has no finite value its direction comes from the score.
bool estimateUp(const EloEstimate& p) {
  return p.score && *p.score > 0.5;
}

void drawAxes(std::string& svg, const Canvas& c, const EloPlotOptions& o) {
  const Range& g = c.games();
  const Range& e = c.elo();
  svg += "<g class=\"grid\" stroke=\"#e6e6e6\" stroke-width=\"1\">\n";
  for (double v : ticks(e))
    svg += fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>\n",
                       c.left(), c.y(v), c.right(), c.y(v));
  for (double v : ticks(g))
    svg += fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>\n", c.x(v),
                       c.top(), c.x(v), c.bottom());
  svg += "</g>\n";

  svg += fmt::format(
      "<rect class=\"frame\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" "
      "fill=\"none\" stroke=\"#444\" stroke-width=\"1\"/>\n",
      c.left(), c.top(), c.right() - c.left(), c.bottom() - c.top());

  svg +=
      fmt::format("<g class=\"ticks\" font-family=\"{}\" font-size=\"13\" fill=\"#333\">\n", FONT);
  for (double v : ticks(e)) {
    svg += fmt::format(
        "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#444\"/>\n",
        c.left() - 5, c.y(v), c.left(), c.y(v));
    svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"end\">{}</text>\n",
                       c.left() - 8, c.y(v) + 4.5, eloTickLabel(v));
  }
  for (double v : ticks(g)) {
    svg += fmt::format(
        "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#444\"/>\n", c.x(v),
        c.bottom(), c.x(v), c.bottom() + 5);
    svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\">{}</text>\n", c.x(v),
                       c.bottom() + 20, std::llround(v));
  }
  svg += "</g>\n";

  svg += fmt::format(
      "<text class=\"xlabel\" x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\" font-family=\"{}\" "
      "font-size=\"14\" fill=\"#222\">games played</text>\n",
      (c.left() + c.right()) / 2, c.bottom() + 42, FONT);
  const double midY = (c.top() + c.bottom()) / 2;
  svg += fmt::format(
      "<text class=\"ylabel\" x=\"22\" y=\"{:.1f}\" text-anchor=\"middle\" font-family=\"{}\" "
      "font-size=\"14\" fill=\"#222\" transform=\"rotate(-90 22 {:.1f})\">Elo of {} over "
      "{}</text>\n",
      midY, FONT, midY, Referee::escapeXml(o.nameA), Referee::escapeXml(o.nameB));
}

void drawZeroLine(std::string& svg, const Canvas& c) {
  const double y0 = c.y(0.0);
  svg += fmt::format(
      "<line class=\"zero\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" "
      "stroke=\"#333\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n",
      c.left(), y0, c.right(), y0);
  // The label sits on a light patch so that the interval band under it does
  // not wash it out.
  svg += fmt::format(
      "<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"98\" height=\"15\" fill=\"white\" "
      "fill-opacity=\"0.8\"/>\n",
      c.right() - 102, y0 - 19);
  svg += fmt::format(
      "<text x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"end\" font-family=\"{}\" font-size=\"12\" "
      "fill=\"#333\">equal strength</text>\n",
      c.right() - 6, y0 - 7, FONT);
}

void drawSeries(std::string& svg, const Canvas& c, const std::vector<EloEstimate>& points) {
  std::vector<double> xs;
  std::vector<Placed> lows, highs, estimates;
  for (const EloEstimate& p : points) {
    xs.push_back(c.x(static_cast<double>(p.games())));
    lows.push_back(c.place(p.low, false));
    highs.push_back(c.place(p.high, true));
    estimates.push_back(c.place(p.elo, estimateUp(p)));
  }
  const std::size_t n = points.size();

  // The interval band: upper edge left to right, lower edge back.
  std::string band;
  for (std::size_t i = 0; i < n; ++i) band += fmt::format("{:.1f},{:.1f} ", xs[i], highs[i].y);
  for (std::size_t i = n; i-- > 0;) band += fmt::format("{:.1f},{:.1f} ", xs[i], lows[i].y);
  if (n == 1) {
    // A single sample: a narrow bar instead of a degenerate polygon.
    svg += fmt::format(
        "<rect class=\"interval\" x=\"{:.1f}\" y=\"{:.1f}\" width=\"8\" height=\"{:.1f}\" "
        "fill=\"{}\" fill-opacity=\"0.6\"/>\n",
        xs[0] - 4, highs[0].y, std::max(lows[0].y - highs[0].y, 1.0), BAND_COLOUR);
  } else {
    band.pop_back();
    svg += fmt::format(
        "<polygon class=\"interval\" points=\"{}\" fill=\"{}\" fill-opacity=\"0.6\" "
        "stroke=\"none\"/>\n",
        band, BAND_COLOUR);
  }

  // Interval clipped at an edge: a dashed strip along that edge over the
  // clipped games.
  auto strips = [&](const std::vector<Placed>& bound, double edge) {
    for (std::size_t i = 0; i < n;) {
      if (!bound[i].clipped) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j + 1 < n && bound[j + 1].clipped) ++j;
      const double x0 = i == j ? xs[i] - 4 : xs[i];
      const double x1 = i == j ? xs[i] + 4 : xs[j];
      svg += fmt::format(
          "<line class=\"interval-clipped\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" "
          "y2=\"{:.1f}\" stroke=\"{}\" stroke-width=\"4\" stroke-dasharray=\"5 3\"/>\n",
          x0, edge, x1, edge, BAND_EDGE_COLOUR);
      i = j + 1;
    }
  };
  strips(highs, c.top());
  strips(lows, c.bottom());
  // Over the band, under the estimate.
  drawZeroLine(svg, c);

  std::string line;
  for (std::size_t i = 0; i < n; ++i) line += fmt::format("{:.1f},{:.1f} ", xs[i], estimates[i].y);
  line.pop_back();
  svg += fmt::format(
      "<polyline class=\"estimate\" points=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"2\" "
      "stroke-linejoin=\"round\"/>\n",
      line, ESTIMATE_COLOUR);
  if (n <= 50) {
    for (std::size_t i = 0; i < n; ++i)
      if (!estimates[i].clipped)
        svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3\" fill=\"{}\"/>\n", xs[i],
                           estimates[i].y, ESTIMATE_COLOUR);
  }

  // Clipped estimates: a triangle pointing out of the plot, thinned so that
  // neighbours do not overlap.
  double lastTop = -1e9;
  double lastBottom = -1e9;
  for (std::size_t i = 0; i < n; ++i) {
    if (!estimates[i].clipped) continue;
    const bool atTop = estimates[i].y <= c.top();
    double& last = atTop ? lastTop : lastBottom;
    if (xs[i] - last < 10.0) continue;
    last = xs[i];
    const double e = atTop ? c.top() : c.bottom();
    const double tip = atTop ? e - 9 : e + 9;
    svg += fmt::format(
        "<polygon class=\"clipped\" points=\"{:.1f},{:.1f} {:.1f},{:.1f} {:.1f},{:.1f}\" "
        "fill=\"{}\"/>\n",
        xs[i] - 5, e, xs[i] + 5, e, xs[i], tip, CLIP_COLOUR);
  }
}

void drawLegend(std::string& svg, const EloPlotOptions& o) {
  const double y = o.height - 18.0;
  double x = 82.0;
  svg +=
      fmt::format("<g class=\"legend\" font-family=\"{}\" font-size=\"13\" fill=\"#222\">\n", FONT);
  svg += fmt::format(
      "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" "
      "stroke-width=\"2\"/>\n",
      x, y - 4, x + 24, y - 4, ESTIMATE_COLOUR);
  svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\">Elo estimate</text>\n", x + 30, y);
  x += 125;
  svg += fmt::format(
      "<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"24\" height=\"12\" fill=\"{}\" "
      "fill-opacity=\"0.6\"/>\n",
      x, y - 10, BAND_COLOUR);
  svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\">95 % interval</text>\n", x + 30, y);
  x += 132;
  svg +=
      fmt::format("<polygon points=\"{:.1f},{:.1f} {:.1f},{:.1f} {:.1f},{:.1f}\" fill=\"{}\"/>\n",
                  x + 7, y - 12, x + 1, y, x + 13, y, CLIP_COLOUR);
  svg += fmt::format(
      "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" "
      "stroke-width=\"4\" stroke-dasharray=\"5 3\"/>\n",
      x + 18, y - 4, x + 42, y - 4, BAND_EDGE_COLOUR);
  svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\">beyond the axis or unbounded</text>\n",
                     x + 48, y);
  svg += "</g>\n";
}

}  // namespace

std::string eloPlotSvg(std::span<const EloEstimate> series, const EloPlotOptions& options) {
  EloPlotOptions o = options;
  o.width = std::max(o.width, 480);
  o.height = std::max(o.height, 320);

  std::vector<EloEstimate> points;
  for (const EloEstimate& p : series)
    if (p.games() > 0) points.push_back(p);
  std::stable_sort(points.begin(), points.end(), [](const EloEstimate& a, const EloEstimate& b) {
    return a.games() < b.games();
  });

  const Canvas canvas(o, gamesRange(points), eloRange(points, o));

  std::string svg = fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} "
      "{1}\">\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n",
      o.width, o.height);
  svg += fmt::format(
      "<text class=\"title\" x=\"82\" y=\"30\" font-family=\"{}\" font-size=\"{:.1f}\" "
      "font-weight=\"bold\" fill=\"#111\">{}</text>\n",
      FONT, fittingFontSize(o.title, 19.0, (o.width - 110) / 1.1), Referee::escapeXml(o.title));
  const std::string summary = points.empty() ? std::string("no games played yet")
                                             : describeElo(points.back(), o.nameA, o.nameB);
  svg += fmt::format(
      "<text class=\"subtitle\" x=\"82\" y=\"54\" font-family=\"{}\" font-size=\"{:.1f}\" "
      "fill=\"#444\">{}</text>\n",
      FONT, fittingFontSize(summary, 13.0, o.width - 110), Referee::escapeXml(summary));

  drawAxes(svg, canvas, o);
  if (points.empty()) {
    drawZeroLine(svg, canvas);
    svg += fmt::format(
        "<text class=\"empty\" x=\"{:.1f}\" y=\"{:.1f}\" text-anchor=\"middle\" font-family=\"{}\" "
        "font-size=\"16\" fill=\"#777\">no games played yet</text>\n",
        (canvas.left() + canvas.right()) / 2, (canvas.top() + canvas.bottom()) / 2 - 20, FONT);
  } else {
    drawSeries(svg, canvas, points);
  }
  drawLegend(svg, o);
  svg += "</svg>\n";
  return svg;
}

bool writeEloPlot(const std::filesystem::path& file, std::span<const EloEstimate> series,
                  const EloPlotOptions& options) {
  const std::string svg = eloPlotSvg(series, options);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
  out.close();
  return !out.fail();
}

}  // namespace Kelp
