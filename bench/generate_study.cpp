// kd_generate_study: writes a synthetic acoustic-tag study as the seven data files that
// Keldar loads (tags, nodes, events, tag attributes, tag life data, tag locations, removals).
//
// The model is a river with detection arrays (kilometres decreasing downstream) and release
// locations upstream of or between the upper arrays. Each fish swims downstream at its own
// speed, may die in a reach (sometimes leaving a removal record), and is heard at each array
// by each node with a probability below one, possibly on several visits. Fish are generated
// one at a time and written at once, so memory does not grow with the number of events.
//
// With --plain the river, releases and tags stay as they are, but the arrays get a given number
// of nodes between them and the events are exactly as many as asked, each at a random node, of
// a random tag, at a random time of the year: a study without the model's structure, whose cost
// depends on its size alone.
//
// Only the standard library is used, with a self-contained random generator, so that one seed
// gives byte-identical files on every platform.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace kd {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;

// xoshiro256** seeded through splitmix64: fast, good quality and fully specified, unlike the
// distributions of <random>, whose output differs between standard libraries.
class Rng
{
public:
    explicit Rng(std::uint64_t seed)
    {
        for (auto& word : state_) {
            seed += 0x9E3779B97F4A7C15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform integer in [lo, hi].
    std::int64_t intRange(std::int64_t lo, std::int64_t hi)
    {
        return lo + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    bool chance(double p) { return uniform() < p; }

    double normal(double mean, double sd)
    {
        const double u1 = 1.0 - uniform(); // (0, 1], keeps log finite
        const double u2 = uniform();
        return mean + sd * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    }
    double exponential(double mean) { return -mean * std::log(1.0 - uniform()); }
    double logNormal(double median, double sigma) { return median * std::exp(normal(0.0, sigma)); }

    // Number of failures before the first success, with the given mean (>= 0).
    std::int64_t geometric(double mean)
    {
        if (mean <= 0.0) {
            return 0;
        }
        const double p = 1.0 / (1.0 + mean);
        return static_cast<std::int64_t>(std::floor(std::log(1.0 - uniform()) / std::log(1.0 - p)));
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t state_[4] = {};
};

// Date-times are plain seconds since 1970-01-01 on a calendar without time zones: the study
// files carry local wall-clock times and nothing here needs daylight saving.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t dateTime(int year, unsigned month, unsigned day, int hour = 0, int minute = 0)
{
    return daysFromCivil(year, month, day) * kDay + hour * kHour + minute * kMinute;
}

std::string formatDateTime(std::int64_t t)
{
    std::int64_t days = t / kDay;
    std::int64_t secs = t % kDay;
    if (secs < 0) {
        secs += kDay;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    // Written digit by digit: this runs twice for every event line.
    char buf[20];
    const auto put = [&buf](int pos, std::int64_t value, int width) {
        for (int k = width - 1; k >= 0; --k) {
            buf[pos + k] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, y, 4);
    buf[4] = '-';
    put(5, m, 2);
    buf[7] = '-';
    put(8, d, 2);
    buf[10] = ' ';
    put(11, secs / kHour, 2);
    buf[13] = ':';
    put(14, secs % kHour / kMinute, 2);
    buf[16] = ':';
    put(17, secs % kMinute, 2);
    return std::string(buf, 19);
}

// Tag codes are "G7" and seven hex digits. A bijection on 28 bits keeps every code unique
// while making consecutive fish look unrelated; study fish and foreign tags (heard by the
// arrays but tagged by other studies) draw from disjoint halves of its input.
constexpr std::uint32_t kCodeMask = (1U << 28) - 1;
constexpr std::uint32_t kForeignBase = 1U << 27;

std::string tagCode(std::uint32_t index, std::uint32_t seedMix)
{
    std::uint32_t x = (index + seedMix) & kCodeMask;
    x = (x * 0x2C1B3C6DU + 0x0A5F3C1U) & kCodeMask;
    x ^= x >> 13;
    x = (x * 0x297A2D39U) & kCodeMask;
    x ^= x >> 11;
    char buf[16];
    std::snprintf(buf, sizeof buf, "G7%07X", x);
    return buf;
}

std::string fixed(double value, int decimals)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

struct Options
{
    long long fish = 200;
    long long events = 0; // 0: the natural amount of the model
    std::uint64_t seed = 1;
    int arrays = 6;
    int releases = 3;
    int year = 2023;
    bool plain = false;
    long long nodes = 0; // plain studies only; 0: kDefaultPlainNodes
    std::string out;
};

constexpr long long kDefaultPlainNodes = 300;
constexpr long long kPlainEventsPerFish = 8;
// Share of the events of a plain study heard from tags of other studies, and how many such
// tags there are per study fish: a few foreign tags heard again and again, as in real files.
constexpr double kPlainForeignShare = 0.005;
constexpr long long kPlainFishPerForeignTag = 50;

struct Node
{
    std::string code;
    std::string xlat;
    double pDetect = 0.8;
    std::int64_t deploy = 0;
    std::int64_t recovery = -1; // -1: still in the water
};

struct Array
{
    std::string location;
    int km = 0;
    double lat = 0.0;
    double lon = 0.0;
    std::vector<Node> nodes;
};

struct ReleaseSite
{
    std::string code;
    std::string name;
    int km = 0;
    double lat = 0.0;
    double lon = 0.0;
    std::string species;
    std::string otherSpecies;
    std::vector<std::int64_t> batches; // release times
    std::vector<int> lots;             // one tag lot per batch
    int firstArray = 0;                // index of the first array below the release
};

// A gently winding river running south-west as the kilometres decrease.
double latitudeAt(double km)
{
    return 38.05 + km * 0.0041 + 0.015 * std::sin(km / 23.0);
}
double longitudeAt(double km)
{
    return -121.72 - km * 0.0013 + 0.02 * std::sin(km / 37.0);
}
double northing(double lat)
{
    return 4212000.0 + (lat - 38.05) * 111100.0;
}
double easting(double lon)
{
    return 629000.0 + (lon + 121.72) * 87700.0;
}

// One data file, written through a large buffer as rows come.
class Output
{
public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    bool open(const std::filesystem::path& path, const char* header)
    {
        file_ = std::fopen(path.string().c_str(), "wb");
        if (file_ == nullptr) {
            std::fprintf(stderr, "Cannot create %s: %s\n", path.string().c_str(),
                         std::strerror(errno));
            return false;
        }
        buffer_.resize(1 << 20);
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        line(header);
        return true;
    }
    void line(const std::string& text)
    {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::fputc('\n', file_);
        ++rows_;
    }
    bool close()
    {
        const bool ok = file_ != nullptr && std::ferror(file_) == 0 && std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }
    long long rows() const { return rows_ - 1; }
    ~Output()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    long long rows_ = 0;
};

class StudyGenerator
{
public:
    explicit StudyGenerator(const Options& options)
        : opt_(options), rng_(options.seed),
          codeMix_(static_cast<std::uint32_t>((options.seed * 0x9E3779B1ULL) & kCodeMask))
    {
    }

    bool run()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::create_directories(opt_.out, ec);
        if (ec) {
            std::fprintf(stderr, "Cannot create folder %s: %s\n", opt_.out.c_str(),
                         ec.message().c_str());
            return false;
        }
        const fs::path dir(opt_.out);
        if (!tags_.open(dir / "tags.csv",
                        "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,"
                        "pit_code,fish_tag_date,tag_activate_date,tag_release_date,"
                        "release_location,release_location_xlat,release_location_river_"
                        "kilometer,release_location_latitude,release_location_longitude,"
                        "mort_xlat,pri") ||
            !nodes_.open(dir / "nodes.csv", "node_code,latitude,longitude,river_kilometer,"
                                            "location,location_xlat,deploy_date,recovery_date,"
                                            "elev_or_depth") ||
            !events_.open(dir / "events.csv", "node_code,tag_code,first_computed_datetime,"
                                              "last_computed_datetime,hits") ||
            !attributes_.open(dir / "tag_attributes.csv", "tag_code,attribute,value") ||
            !lifeData_.open(dir / "tag_life_data.csv", "tag_code,lot,tag_life_days") ||
            !locations_.open(dir / "tag_locations.csv",
                             "tag_code,time,northing,easting,elevation") ||
            !removals_.open(dir / "removals.csv",
                            "tag_code,removal_date,removal_river_km,removal_type")) {
            return false;
        }

        buildRiver();
        if (opt_.plain) {
            spreadNodes();
        }
        writeNodes();
        writeTagLifeData();
        for (long long i = 0; i < opt_.fish; ++i) {
            writeFish(i);
        }
        if (opt_.plain) {
            writePlainEvents();
        }

        bool ok = true;
        for (Output* out :
             {&tags_, &nodes_, &events_, &attributes_, &lifeData_, &locations_, &removals_}) {
            ok = out->close() && ok;
        }
        if (!ok) {
            std::fprintf(stderr, "Writing to %s failed\n", opt_.out.c_str());
            return false;
        }
        std::fprintf(stderr,
                     "Wrote %s: %lld tags, %lld nodes, %lld events, %lld tag attributes, "
                     "%lld tag life data, %lld tag locations, %lld removals\n",
                     opt_.out.c_str(), tags_.rows(), nodes_.rows(), events_.rows(),
                     attributes_.rows(), lifeData_.rows(), locations_.rows(), removals_.rows());
        if (opt_.events > 0 && events_.rows() < opt_.events * 9 / 10) {
            std::fprintf(stderr, "Note: fewer events than the target of %lld; add fish.\n",
                         opt_.events);
        }
        return true;
    }

private:
    void buildRiver()
    {
        static const char* const kReleaseCodes[][2] = {
            {"CANYON", "Canyon Reach Release"},     {"MILLCK", "Mill Creek Confluence"},
            {"FERRY", "Old Ferry Landing"},         {"HATCH", "Upper River Hatchery"},
            {"FORKS", "North Forks Bridge"},        {"MEADOW", "Long Meadow Boat Ramp"},
            {"ISLAND", "Sand Island Side Channel"}, {"BEND", "Horseshoe Bend"}};
        static const char* const kNodeLabels[] = {"Left Bank", "Mid Channel", "Right Bank"};
        static const char* const kSpecies[] = {"CHN", "CHN", "STH", "CHN", "STH", "CHN"};

        // Arrays from upstream to downstream, roughly 70 km apart.
        int km = 30 + opt_.arrays * 70 + static_cast<int>(rng_.intRange(0, 20));
        for (int a = 0; a < opt_.arrays; ++a) {
            Array array;
            array.location = "A" + std::to_string(a + 1);
            array.km = km;
            array.lat = latitudeAt(km);
            array.lon = longitudeAt(km);
            const int nodeCount = static_cast<int>(rng_.intRange(1, 3));
            // Most arrays are pulled in late summer; a few stay out for the next season.
            const bool recovered = !rng_.chance(0.2);
            for (int n = 0; n < nodeCount; ++n) {
                Node node;
                char code[32];
                std::snprintf(code, sizeof code, "%s_%02d", array.location.c_str(), n + 1);
                node.code = code;
                node.xlat = kNodeLabels[n];
                node.pDetect = rng_.range(0.55, 0.9);
                node.deploy = dateTime(opt_.year, 1, 16 + 2 * (a % 6), 9 + n,
                                       static_cast<int>(rng_.intRange(0, 59)));
                if (recovered) {
                    node.recovery = dateTime(opt_.year, 8, 20 + (a % 9), 13,
                                             static_cast<int>(rng_.intRange(0, 59)));
                }
                array.nodes.push_back(node);
            }
            arrays_.push_back(array);
            km -= static_cast<int>(rng_.intRange(50, 90));
        }
        // One receiver of the lowest array failed early in the season.
        if (opt_.arrays > 1 && arrays_.back().nodes.size() > 1) {
            arrays_.back().nodes.back().recovery = dateTime(opt_.year, 4, 24, 10, 5);
        }

        const int codeCount = static_cast<int>(sizeof kReleaseCodes / sizeof kReleaseCodes[0]);
        for (int r = 0; r < opt_.releases; ++r) {
            ReleaseSite site;
            if (r < codeCount) {
                site.code = kReleaseCodes[r][0];
                site.name = kReleaseCodes[r][1];
            } else {
                site.code = "REL" + std::to_string(r + 1);
                site.name = "Release Site " + std::to_string(r + 1);
            }
            // The first release lies above all arrays, the next ones between the upper arrays
            // (fish released there are never heard at the arrays above them).
            if (r == 0 || r >= opt_.arrays) {
                site.km = arrays_.front().km + 15 + 12 * r + static_cast<int>(rng_.intRange(0, 20));
                site.firstArray = 0;
            } else {
                const int above = arrays_[r - 1].km;
                const int below = arrays_[r].km;
                site.km = below + 1 + static_cast<int>((above - below - 2) * rng_.range(0.3, 0.7));
                site.firstArray = r;
            }
            site.lat = latitudeAt(site.km) + 0.004;
            site.lon = longitudeAt(site.km) - 0.003;
            site.species = kSpecies[r % 6];
            site.otherSpecies = site.species == "CHN" ? "STH" : "CHN";
            const int batches = static_cast<int>(rng_.intRange(2, 3));
            for (int b = 0; b < batches; ++b) {
                const int day = 3 + 9 * (r % 3) + 16 * b + static_cast<int>(rng_.intRange(0, 3));
                site.batches.push_back(
                    dateTime(opt_.year, 3, 1, 19, static_cast<int>(rng_.intRange(0, 59))) +
                    day * kDay);
                site.lots.push_back(4100 + 10 * r + b);
            }
            releases_.push_back(site);
        }
    }

    // Replaces the nodes of the model by the plain study's: as many per array as an even share
    // gives, all in the water from the first day of the year on.
    void spreadNodes()
    {
        const long long total = opt_.nodes;
        const long long count = static_cast<long long>(arrays_.size());
        for (long long a = 0; a < count; ++a) {
            Array& array = arrays_[static_cast<std::size_t>(a)];
            array.nodes.clear();
            const long long share = total / count + (a < total % count ? 1 : 0);
            for (long long n = 0; n < share; ++n) {
                Node node;
                char code[32];
                std::snprintf(code, sizeof code, "%s_%02lld", array.location.c_str(), n + 1);
                node.code = code;
                // Distinct labels: an array's node count is its number of distinct labels.
                std::snprintf(code, sizeof code, "Receiver %02lld", n + 1);
                node.xlat = code;
                node.deploy = dateTime(opt_.year, 1, 1, 8 + static_cast<int>(n % 4),
                                       static_cast<int>(rng_.intRange(0, 59)));
                array.nodes.push_back(node);
            }
        }
    }

    void writeNodes()
    {
        for (const Array& array : arrays_) {
            // Plain arrays may hold many nodes: they share the model's width across the river.
            const double gaps =
                static_cast<double>(std::max<std::size_t>(array.nodes.size(), 2) - 1);
            const double spacing = opt_.plain ? 0.0008 / gaps : 0.0004;
            const double centre =
                opt_.plain ? (static_cast<double>(array.nodes.size()) - 1.0) / 2.0 : 1.0;
            for (std::size_t n = 0; n < array.nodes.size(); ++n) {
                const Node& node = array.nodes[n];
                const double offset = (static_cast<double>(n) - centre) * spacing;
                std::string line = node.code;
                line += ',' + fixed(array.lat + offset, 6);
                line += ',' + fixed(array.lon - offset, 6);
                line += ',' + std::to_string(array.km);
                line += ',' + array.location;
                line += ',' + node.xlat;
                line += ',' + formatDateTime(node.deploy);
                line += ',' + (node.recovery < 0 ? std::string() : formatDateTime(node.recovery));
                line += ',' + fixed(-rng_.range(1.5, 6.0), 1);
                nodes_.line(line);
            }
        }
    }

    // Tag life studies hold a few tags of each lot in a tank until their batteries fail.
    void writeTagLifeData()
    {
        std::uint32_t index = kForeignBase + (1U << 26);
        for (const ReleaseSite& site : releases_) {
            for (int lot : site.lots) {
                for (int k = 0; k < 3; ++k) {
                    lifeData_.line(tagCode(index++, codeMix_) + ',' + std::to_string(lot) + ',' +
                                   fixed(rng_.normal(96.0, 7.0), 1));
                }
            }
        }
    }

    bool inWindow(const Node& node, std::int64_t t) const
    {
        return t >= node.deploy && (node.recovery < 0 || t <= node.recovery);
    }

    // Mean number of visits to each array reached. Without a target a few fish mill about; with
    // one, the mean follows what is still missing, from the rates seen so far (with a prior so
    // that the first fish do not swing it).
    double visitMean(long long fishIndex) const
    {
        if (opt_.events <= 0) {
            return 1.3;
        }
        const double priorWeight = 20.0;
        const double arraysPerFish =
            (static_cast<double>(arraysReached_) + priorWeight * 0.55 * opt_.arrays) /
            (static_cast<double>(fishIndex) + priorWeight);
        const double eventsPerVisit = (static_cast<double>(fishEvents_) + priorWeight * 1.2) /
                                      (static_cast<double>(visits_) + priorWeight);
        const double remainingEvents = static_cast<double>(opt_.events - events_.rows());
        const double remainingFish = static_cast<double>(opt_.fish - fishIndex);
        const double mean = remainingEvents / (remainingFish * arraysPerFish * eventsPerVisit);
        return std::max(1.0, std::min(mean, 500.0));
    }

    void writeFish(long long i)
    {
        const ReleaseSite& site = releases_[static_cast<std::size_t>(i % opt_.releases)];
        const std::size_t batch = static_cast<std::size_t>(
            rng_.intRange(0, static_cast<std::int64_t>(site.batches.size()) - 1));
        const std::string code = tagCode(static_cast<std::uint32_t>(i), codeMix_);
        const std::string species = rng_.chance(0.04) ? site.otherSpecies : site.species;
        const std::int64_t release = site.batches[batch] + rng_.intRange(0, 90) * kMinute;
        const std::int64_t tagged =
            dateTime(opt_.year, 1, 1) +
            ((release - dateTime(opt_.year, 1, 1)) / kDay - rng_.intRange(2, 5)) * kDay +
            rng_.intRange(8 * 60, 15 * 60) * kMinute;
        const std::int64_t activated = tagged - kDay + rng_.intRange(0, 120) * kMinute;
        const bool mort = rng_.chance(0.02);
        const double length = std::max(70.0, rng_.normal(species == "STH" ? 190.0 : 118.0, 14.0));
        const double weight = 1.05e-5 * length * length * length * rng_.range(0.9, 1.1);
        const double pri = rng_.normal(5.0, 0.04);
        static const char* const kTaggers[] = {"JSM", "KLR", "ADW", "MTV"};

        std::string line = code;
        line += ',';
        line += rng_.chance(0.03) ? "" : kTaggers[rng_.intRange(0, 3)];
        line += ',' + std::to_string(rng_.intRange(1, 12));
        line += ',' + std::to_string(site.lots[batch]);
        line += ',' + species;
        line += ',' + fixed(length, 1);
        line += ',' + fixed(weight, 2);
        line += ',';
        if (rng_.chance(0.3)) {
            char pit[32];
            std::snprintf(pit, sizeof pit, "3DD.00%08llX",
                          static_cast<unsigned long long>(rng_.next() & 0xFFFFFFFFULL));
            line += pit;
        }
        line += ',' + formatDateTime(tagged);
        line += ',' + formatDateTime(activated);
        line += ',' + formatDateTime(release);
        line += ',' + site.code + ',' + site.name + ',' + std::to_string(site.km);
        line += ',' + fixed(site.lat, 6) + ',' + fixed(site.lon, 6);
        line += mort ? ",1" : ",0";
        line += ',' + fixed(pri, 2);
        tags_.line(line);

        writeAttributes(code, species);
        if (opt_.plain) {
            placeTag(code, site, release, mort);
            return;
        }
        if (!mort) {
            swim(i, code, site, release, pri);
        }
        // Now and then the arrays hear a tag from some other study.
        if (rng_.chance(0.01)) {
            writeForeignEvent();
        }
    }

    void writeAttributes(const std::string& code, const std::string& species)
    {
        if (rng_.chance(0.25)) {
            attributes_.line(code + ",rear_type," + (rng_.chance(0.7) ? "Hatchery" : "Wild"));
            if (species == "CHN" && rng_.chance(0.5)) {
                attributes_.line(code + ",run," + (rng_.chance(0.8) ? "Fall" : "Late-fall"));
            }
        }
        if (rng_.chance(0.05)) {
            static const char* const kNotes[] = {"minor bleeding at incision", "scale loss < 10%",
                                                 "sutures re-tied", "slow to recover"};
            attributes_.line(code + ",surgery_note," + kNotes[rng_.intRange(0, 3)]);
        }
    }

    void swim(long long fishIndex, const std::string& code, const ReleaseSite& site,
              std::int64_t release, double pri)
    {
        const double speed = rng_.logNormal(22.0, 0.45); // km per day
        const double visits = visitMean(fishIndex);
        double position = site.km;
        std::int64_t t = release + rng_.intRange(10, 120) * kMinute;

        // Mobile tracking now and then finds a fish between arrays.
        if (rng_.chance(0.01)) {
            const double km = position - rng_.range(1.0, 8.0);
            const std::int64_t when = t + rng_.intRange(6, 30) * kHour;
            locations_.line(
                code + ',' + formatDateTime(when) + ',' + fixed(northing(latitudeAt(km)), 1) + ',' +
                fixed(easting(longitudeAt(km)), 1) + ',' + fixed(-rng_.range(0.5, 4.0), 1));
        }

        for (std::size_t a = static_cast<std::size_t>(site.firstArray); a < arrays_.size(); ++a) {
            const Array& array = arrays_[a];
            const double distance = position - array.km;
            const double reachSpeed = speed * rng_.range(0.6, 1.4);
            const double survival = std::exp(-0.0011 * distance);
            if (!rng_.chance(survival)) {
                die(code, array, position, t, reachSpeed);
                return;
            }
            t += static_cast<std::int64_t>(distance / reachSpeed * kDay);
            ++arraysReached_;

            // Visits to the array; each node hears each visit on its own.
            const std::int64_t count = 1 + rng_.geometric(visits - 1.0);
            for (std::int64_t v = 0; v < count; ++v) {
                const std::int64_t duration = static_cast<std::int64_t>(rng_.exponential(420.0));
                ++visits_;
                for (const Node& node : array.nodes) {
                    const std::int64_t first = t + rng_.intRange(0, 90);
                    if (!inWindow(node, first) || !rng_.chance(node.pDetect)) {
                        continue;
                    }
                    const std::int64_t last =
                        first + static_cast<std::int64_t>(duration * rng_.range(0.5, 1.0));
                    const double heard = static_cast<double>(last - first) / pri;
                    const long long hits = 1 + static_cast<long long>(heard * rng_.range(0.2, 0.7));
                    events_.line(node.code + ',' + code + ',' + formatDateTime(first) + ',' +
                                 formatDateTime(last) + ',' + std::to_string(hits));
                    ++fishEvents_;
                }
                // The next visit starts more than an hour later, or the fish moves on.
                t += duration + 2 * kMinute;
                if (v + 1 < count) {
                    t += kHour + static_cast<std::int64_t>(rng_.exponential(5.0 * kHour));
                }
            }
            position = array.km;
        }
    }

    // The fish dies in the reach above the array; a tag found later becomes a removal.
    void die(const std::string& code, const Array& array, double position, std::int64_t t,
             double reachSpeed)
    {
        static const char* const kTypes[] = {"predation", "avian_colony", "harvest"};
        if (!rng_.chance(0.35) || position - array.km < 3.0) {
            return;
        }
        const int km =
            array.km + 1 + static_cast<int>((position - array.km - 2.0) * rng_.range(0.05, 0.95));
        const std::int64_t when =
            t + static_cast<std::int64_t>((position - km) / reachSpeed * kDay);
        removals_.line(code + ',' + formatDateTime(when) + ',' + std::to_string(km) + ',' +
                       kTypes[rng_.intRange(0, 2)]);
    }

    // A plain study's fish do not swim, but some are still found by mobile tracking or
    // removed, so that those files are not empty.
    void placeTag(const std::string& code, const ReleaseSite& site, std::int64_t release, bool mort)
    {
        if (rng_.chance(0.01)) {
            const double km = site.km - rng_.range(1.0, 8.0);
            const std::int64_t when = release + rng_.intRange(6, 30) * kHour;
            locations_.line(
                code + ',' + formatDateTime(when) + ',' + fixed(northing(latitudeAt(km)), 1) + ',' +
                fixed(easting(longitudeAt(km)), 1) + ',' + fixed(-rng_.range(0.5, 4.0), 1));
        }
        if (!mort && rng_.chance(0.1)) {
            static const char* const kTypes[] = {"predation", "avian_colony", "harvest"};
            const Array& array = arrays_[static_cast<std::size_t>(
                rng_.intRange(0, static_cast<std::int64_t>(arrays_.size()) - 1))];
            const std::int64_t when =
                release + rng_.intRange(1, 60) * kDay + rng_.intRange(0, kDay - 1);
            removals_.line(code + ',' + formatDateTime(when) + ',' +
                           std::to_string(array.km + rng_.intRange(1, 20)) + ',' +
                           kTypes[rng_.intRange(0, 2)]);
        }
    }

    // Exactly opt_.events events, each independent of all others, so that no node, tag or day
    // is favoured; they start on the second day of the year, after every node went in.
    void writePlainEvents()
    {
        std::vector<const Node*> nodes;
        for (const Array& array : arrays_) {
            for (const Node& node : array.nodes) {
                nodes.push_back(&node);
            }
        }
        const std::int64_t lastNode = static_cast<std::int64_t>(nodes.size()) - 1;
        const std::int64_t foreignTags = opt_.fish / kPlainFishPerForeignTag + 1;
        const std::int64_t start = dateTime(opt_.year, 1, 2);
        const std::int64_t end = dateTime(opt_.year + 1, 1, 1) - 1 - 600;
        for (long long e = 0; e < opt_.events; ++e) {
            const Node& node = *nodes[static_cast<std::size_t>(rng_.intRange(0, lastNode))];
            const std::uint32_t tag =
                rng_.chance(kPlainForeignShare)
                    ? kForeignBase + static_cast<std::uint32_t>(rng_.intRange(0, foreignTags - 1))
                    : static_cast<std::uint32_t>(rng_.intRange(0, opt_.fish - 1));
            const std::int64_t first = rng_.intRange(start, end);
            const std::int64_t last = first + rng_.intRange(0, 600);
            events_.line(node.code + ',' + tagCode(tag, codeMix_) + ',' + formatDateTime(first) +
                         ',' + formatDateTime(last) + ',' +
                         std::to_string(1 + (last - first) / 20));
        }
    }

    void writeForeignEvent()
    {
        const Array& array = arrays_[static_cast<std::size_t>(
            rng_.intRange(0, static_cast<std::int64_t>(arrays_.size()) - 1))];
        const Node& node = array.nodes[static_cast<std::size_t>(
            rng_.intRange(0, static_cast<std::int64_t>(array.nodes.size()) - 1))];
        const std::int64_t first =
            dateTime(opt_.year, 3, 1) + rng_.intRange(0, 120) * kDay + rng_.intRange(0, kDay - 1);
        if (!inWindow(node, first)) {
            return;
        }
        const std::int64_t last = first + rng_.intRange(0, 600);
        events_.line(node.code + ',' + tagCode(kForeignBase + foreignCount_++, codeMix_) + ',' +
                     formatDateTime(first) + ',' + formatDateTime(last) + ',' +
                     std::to_string(1 + (last - first) / 20));
    }

    Options opt_;
    Rng rng_;
    std::uint32_t codeMix_;
    std::vector<Array> arrays_;
    std::vector<ReleaseSite> releases_;
    Output tags_, nodes_, events_, attributes_, lifeData_, locations_, removals_;
    long long arraysReached_ = 0;
    long long visits_ = 0;
    long long fishEvents_ = 0;
    std::uint32_t foreignCount_ = 0;
};

void usage(const char* program)
{
    std::fprintf(stderr,
                 "Usage: %s --out DIR [--fish N] [--events N] [--seed S] [--arrays N]\n"
                 "          [--releases N] [--year YYYY] [--plain [--nodes N]]\n"
                 "Writes a synthetic tagged-fish study (seven CSV files) into DIR.\n"
                 "  --fish N      tagged fish (default 200)\n"
                 "  --events N    target number of detection events; fish then visit arrays\n"
                 "                repeatedly (default: the model's natural amount)\n"
                 "  --seed S      random seed; the same seed gives the same files (default 1)\n"
                 "  --arrays N    detection arrays, 1 to 99 (default 6)\n"
                 "  --releases N  release locations, 1 to 20 (default 3)\n"
                 "  --year YYYY   study year (default 2023)\n"
                 "  --plain       plain study: the same tags, but exactly --events events\n"
                 "                (default 8 per fish), each at a random node, of a random\n"
                 "                tag (0.5%% of tags not in tags.csv), at a random time of\n"
                 "                the study year; nothing swims, every node and tag is alike\n"
                 "  --nodes N     with --plain: nodes shared evenly among the arrays, at\n"
                 "                least one per array (default 300)\n",
                 program);
}

bool parseNumber(const char* text, long long lo, long long hi, long long& value)
{
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < lo || parsed > hi) {
        return false;
    }
    value = parsed;
    return true;
}

} // namespace
} // namespace kd

int main(int argc, char** argv)
{
    kd::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            kd::usage(argv[0]);
            return 0;
        }
        if (arg == "--plain") {
            options.plain = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "Missing value for %s\n", arg.c_str());
            kd::usage(argv[0]);
            return 2;
        }
        const char* value = argv[++i];
        long long number = 0;
        bool ok = true;
        if (arg == "--out") {
            options.out = value;
            ok = !options.out.empty();
        } else if (arg == "--fish") {
            ok = kd::parseNumber(value, 1, kd::kForeignBase - 1, number);
            options.fish = number;
        } else if (arg == "--events") {
            ok = kd::parseNumber(value, 0, 1LL << 40, number);
            options.events = number;
        } else if (arg == "--seed") {
            ok = kd::parseNumber(value, 0, (1LL << 62), number);
            options.seed = static_cast<std::uint64_t>(number);
        } else if (arg == "--arrays") {
            ok = kd::parseNumber(value, 1, 99, number);
            options.arrays = static_cast<int>(number);
        } else if (arg == "--releases") {
            ok = kd::parseNumber(value, 1, 20, number);
            options.releases = static_cast<int>(number);
        } else if (arg == "--nodes") {
            ok = kd::parseNumber(value, 1, 1000000, number);
            options.nodes = number;
        } else if (arg == "--year") {
            ok = kd::parseNumber(value, 1971, 9998, number);
            options.year = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "Unknown option %s\n", arg.c_str());
            kd::usage(argv[0]);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "Bad value for %s: %s\n", arg.c_str(), value);
            return 2;
        }
    }
    if (options.out.empty()) {
        kd::usage(argv[0]);
        return 2;
    }
    if (options.plain) {
        if (options.nodes == 0) {
            options.nodes = kd::kDefaultPlainNodes;
        }
        if (options.nodes < options.arrays) {
            std::fprintf(stderr, "--nodes %lld is fewer than one per array (%d arrays)\n",
                         options.nodes, options.arrays);
            return 2;
        }
        if (options.events == 0) {
            options.events = options.fish * kd::kPlainEventsPerFish;
        }
    } else if (options.nodes != 0) {
        std::fprintf(stderr, "--nodes needs --plain\n");
        return 2;
    }
    return kd::StudyGenerator(options).run() ? 0 : 1;
}
