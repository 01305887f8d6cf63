#include "picture_metrics.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace kest::tool {
namespace {

std::vector<double> Luma(const RgbImage& image) {
    std::vector<double> y(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < y.size(); ++i)
        y[i] = 0.299 * image.rgb[3 * i] + 0.587 * image.rgb[3 * i + 1] + 0.114 * image.rgb[3 * i + 2];
    return y;
}

// The plane blurred by the window, rows then columns, the window cut at the
// edges and renormalised.
std::vector<double> Blur(const std::vector<double>& plane, int32_t width, int32_t height) {
    constexpr int32_t kRadius = 5;
    double weights[2 * kRadius + 1];
    for (int32_t k = -kRadius; k <= kRadius; ++k) weights[k + kRadius] = std::exp(-k * k / (2 * 1.5 * 1.5));
    auto pass = [&](const std::vector<double>& in, bool across) {
        std::vector<double> out(in.size());
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                double sum = 0, total = 0;
                for (int32_t k = -kRadius; k <= kRadius; ++k) {
                    const int32_t sx = across ? x + k : x, sy = across ? y : y + k;
                    if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
                    sum += weights[k + kRadius] * in[static_cast<std::size_t>(sy) * width + sx];
                    total += weights[k + kRadius];
                }
                out[static_cast<std::size_t>(y) * width + x] = sum / total;
            }
        return out;
    };
    return pass(pass(plane, true), false);
}

}  // namespace

double Psnr(const RgbImage& a, const RgbImage& b) {
    double squares = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = static_cast<double>(a.rgb[i]) - b.rgb[i];
        squares += d * d;
    }
    if (squares == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.rgb.size()) / squares);
}

double Ssim(const RgbImage& a, const RgbImage& b) {
    const std::vector<double> x = Luma(a), y = Luma(b);
    std::vector<double> xx(x.size()), yy(x.size()), xy(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) xx[i] = x[i] * x[i], yy[i] = y[i] * y[i], xy[i] = x[i] * y[i];
    const std::vector<double> mx = Blur(x, a.width, a.height), my = Blur(y, a.width, a.height);
    const std::vector<double> sxx = Blur(xx, a.width, a.height), syy = Blur(yy, a.width, a.height),
                              sxy = Blur(xy, a.width, a.height);
    constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double vx = sxx[i] - mx[i] * mx[i], vy = syy[i] - my[i] * my[i], cov = sxy[i] - mx[i] * my[i];
        sum += (2 * mx[i] * my[i] + c1) * (2 * cov + c2) / ((mx[i] * mx[i] + my[i] * my[i] + c1) * (vx + vy + c2));
    }
    return x.empty() ? 1 : sum / static_cast<double>(x.size());
}

}  // namespace kest::tool
