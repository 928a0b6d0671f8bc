#include "screen/x11/PlacePicture.hpp"

#include "screen/x11/PixelRectMath.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvik::helper {
namespace {

// Below this spread of brightness (standard deviation, of 255) a picture has no pattern.
constexpr double flatSpread = 2.0;
// Below this spread a later picture shows no pattern that rounding did not make (a fade's last steps).
constexpr double faintestSpread = 1.0;
// The likeness (correlation) below which a later picture no longer shows an earlier one: over a changing screen
// a pattern faded to a tenth of its contrast or less.
constexpr double faintestLikeness = 0.1;
// Fewer samples than this left outside the black show nothing to speak of.
constexpr std::size_t fewestSamples = 16;
// The least spread of a change between two pictures that can show a fade's step rather than noise.
constexpr double faintestChange = 0.5;

template <typename Value> double spread(const std::vector<Value>& values) {
    double sum = 0;
    double squares = 0;
    for (auto value : values) {
        sum += value;
        squares += static_cast<double>(value) * value;
    }
    const auto count = static_cast<double>(values.size());
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}

// The correlation of two series of samples of the same length.
template <typename Value>
double likeness(const std::vector<std::uint8_t>& values, const std::vector<Value>& laterValues) {
    double sum = 0;
    double laterSum = 0;
    for (std::size_t index = 0; index < values.size(); ++index) {
        sum += values[index];
        laterSum += laterValues[index];
    }
    const auto count = static_cast<double>(values.size());
    const double mean = sum / count;
    const double laterMean = laterSum / count;
    double covariance = 0;
    double variance = 0;
    double laterVariance = 0;
    for (std::size_t index = 0; index < values.size(); ++index) {
        const double value = values[index] - mean;
        const double laterValue = laterValues[index] - laterMean;
        covariance += value * laterValue;
        variance += value * value;
        laterVariance += laterValue * laterValue;
    }
    return covariance / std::sqrt(variance * laterVariance);
}

} // namespace

std::optional<PlacePicture> PlacePicture::of(const std::uint8_t* pixels, int stride, const PixelRect& area,
                                             const PixelRect& place) {
    const auto inside = overlap(place, area);
    if (!inside) return std::nullopt;
    std::vector<std::uint8_t> brightness;
    for (int y = inside->y; y < inside->y + inside->height; y += step) {
        const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y - area.y) * stride;
        for (int x = inside->x; x < inside->x + inside->width; x += step) {
            const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(x - area.x) * 4; // B, G, R, X
            brightness.push_back(static_cast<std::uint8_t>((pixel[0] + 5 * pixel[1] + 2 * pixel[2]) / 8));
        }
    }
    return PlacePicture(*inside, std::move(brightness));
}

bool PlacePicture::flat() const {
    return spread(brightness_) < flatSpread;
}

bool PlacePicture::showsIn(const PlacePicture& later, const std::vector<PixelRect>& blackedOut) const {
    if (later.place_ != place_ || flat()) return false;
    // The samples left to compare: those outside what a picture shows black anyway.
    std::vector<std::uint8_t> values;
    std::vector<std::uint8_t> laterValues;
    const int columns = (place_.width + step - 1) / step;
    for (std::size_t index = 0; index < brightness_.size(); ++index) {
        const int x = place_.x + static_cast<int>(index) % columns * step;
        const int y = place_.y + static_cast<int>(index) / columns * step;
        const bool black = std::any_of(blackedOut.begin(), blackedOut.end(), [&](const PixelRect& rect) {
            return encloses(rect, {x, y, 1, 1});
        });
        if (black) continue;
        values.push_back(brightness_[index]);
        laterValues.push_back(later.brightness_[index]);
    }
    if (values.size() < fewestSamples || spread(values) < flatSpread || spread(laterValues) < faintestSpread)
        return false;
    return likeness(values, laterValues) >= faintestLikeness;
}

bool PlacePicture::sameAs(const PlacePicture& later) const {
    return later.place_ == place_ && later.brightness_ == brightness_;
}

bool PlacePicture::changesLikeIt(const PlacePicture& earlier, const PlacePicture& later) const {
    if (earlier.place_ != place_ || later.place_ != place_ || flat()) return false;
    std::vector<int> change(brightness_.size());
    for (std::size_t index = 0; index < change.size(); ++index) {
        change[index] = later.brightness_[index] - earlier.brightness_[index];
    }
    if (spread(change) < faintestChange) return false;
    return std::abs(likeness(brightness_, change)) >= faintestLikeness;
}

} // namespace orvik::helper
