#include "bench/tessel/TreePlan.h"

#include <iterator>
#include <string_view>
#include <unordered_set>

namespace webtessl::bench {
namespace {

// Every tenth entry is a folder; folders nest at most this deep below the root.
constexpr size_t kEntriesPerFolder = 10;
constexpr size_t kMaxDepth = 7;
// A few folders are dumps (a camera roll, a build output) that hold a tenth of all files.
constexpr size_t kFoldersPerDump = 200;
constexpr uint64_t kDumpFilesPercent = 10;
// Share of words taken from other scripts, and of file names carrying the rare word.
constexpr uint64_t kForeignWordsPerMille = 40;
constexpr uint64_t kRareNamesPerMillion = 12;
constexpr int kFirstYear = 1998;
constexpr int kYears = 28;

// Ordered from frequent to rare: PickSkewed favours the front.
constexpr std::string_view kWords[] = {
    "report", "notes", "budget", "final", "draft", "meeting", "invoice", "summary", "project",
    "data", "test", "backup", "photo", "scan", "letter", "contract", "plan", "review", "old",
    "new", "copy", "list", "config", "main", "index", "readme", "user", "client", "server",
    "manual", "slides", "agenda", "minutes", "proposal", "release", "changes", "design", "outline",
    "table", "chart", "export", "import", "sample", "template", "form", "receipt", "statement",
    "tax", "travel", "holiday", "family", "school", "work", "home", "music", "video", "cover",
    "album", "track", "book", "chapter", "thesis", "paper", "article", "draft2", "figure",
    "results", "analysis", "model", "network", "parser", "buffer", "stream", "socket", "thread",
    "queue", "cache", "engine", "render", "window", "widget", "button", "layout", "style",
    "theme", "font", "image", "icon", "logo", "banner", "poster", "flyer", "brochure", "catalog",
    "price", "order", "payment", "account", "salary", "pension", "insurance", "medical",
    "doctor", "garden", "kitchen", "recipe", "wedding", "birthday", "party", "concert",
    "festival", "beach", "mountain", "river", "city", "village", "castle", "museum", "station",
    "airport", "harbour", "bridge", "tower", "forest", "island", "desert", "glacier", "volcano",
    "canyon", "meadow", "orchard", "vineyard", "lighthouse", "windmill", "monastery",
    "cathedral", "aqueduct", "observatory", "planetarium", "greenhouse", "workshop", "studio",
    "gallery", "archive", "ledger", "inventory", "roster", "schedule", "timeline", "roadmap",
    "milestone", "sprint", "backlog", "retro", "kickoff", "handover", "onboarding", "audit",
    "compliance", "warranty", "appendix", "errata"};

constexpr std::string_view kForeignWords[] = {
    "résumé", "café", "Übersicht", "Größe", "naïve", "crème", "façade", "smörgåsbord",
    "Kraków", "jalapeño", "Ελλάδα", "φωτογραφία", "σημειώσεις", "Москва", "отчёт", "документ",
    "фотографии", "日本語", "写真", "議事録", "Zürich", "São Paulo", "Ærøskøbing", "Łódź"};

constexpr std::string_view kFolderWords[] = {
    "Documents", "Projects", "src", "include", "tests", "Photos", "Music", "Videos", "Archive",
    "Backup", "Downloads", "Desktop", "Reports", "Invoices", "Taxes", "Work", "Private",
    "Shared", "Clients", "Drafts", "build", "lib", "docs", "assets", "images", "scripts",
    "tools", "vendor", "examples", "data", "exports", "Templates", "Scans", "Letters", "Travel",
    "School", "Recipes", "Camera", "Screenshots", "Misc"};

constexpr std::string_view kDocumentExtensions[] = {
    "pdf", "docx", "xlsx", "txt", "md", "odt", "pptx", "csv", "rtf", "doc"};
constexpr std::string_view kCodeExtensions[] = {
    "cpp", "h", "py", "js", "ts", "java", "go", "rs", "json"};
constexpr std::string_view kOtherExtensions[] = {
    "txt", "log", "zip", "png", "xml", "html", "bak", "tar.gz"};

// splitmix64: small, fast, and the same on every platform (unlike the standard distributions).
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }
  bool PerMille(uint64_t share) { return Next() % 1000 < share; }
  bool PerMillion(uint64_t share) { return Next() % 1000000 < share; }
  // An index below `bound`, small ones far more likely (the square of a uniform number).
  size_t PickSkewed(size_t bound) {
    const double uniform = static_cast<double>(Next() >> 11) / static_cast<double>(1ULL << 53);
    return static_cast<size_t>(uniform * uniform * static_cast<double>(bound));
  }
  template <typename List>
  std::string_view Pick(const List& list) {
    return list[Below(std::size(list))];
  }

 private:
  uint64_t state_;
};

std::string Capitalized(std::string_view word) {
  std::string text(word);
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

std::string Upper(std::string_view word) {
  std::string text(word);
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return text;
}

std::string Digits(TRandom& random, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random.Below(10));
  return text;
}

// Makes up the names of files and folders.
class TNamer {
 public:
  explicit TNamer(TRandom& random) : random_(random) {}

  std::string FileName() {
    const size_t form = random_.Below(100);
    if (form < 35) return DocumentName();
    if (form < 55) return PhotoName();
    if (form < 80) return SourceName();
    if (form < 95) return Word() + "-" + std::to_string(random_.Below(1000)) + "." +
                          std::string(random_.Pick(kOtherExtensions));
    return Digits(random_, 2) + " - " + Styled(Word()) + " " + Word() + ".mp3";
  }

  std::string FolderName() {
    const size_t form = random_.Below(100);
    if (random_.PerMille(kForeignWordsPerMille)) return std::string(random_.Pick(kForeignWords));
    if (form < 40) return std::string(random_.Pick(kFolderWords));
    if (form < 55) return std::string(random_.Pick(kFolderWords)) + " " + Year();
    if (form < 75) return Word() + "_" + Word();
    if (form < 85) return Year();
    return Capitalized(Word()) + " " + Word();
  }

 private:
  std::string Word() {
    if (random_.PerMille(kForeignWordsPerMille)) return std::string(random_.Pick(kForeignWords));
    return std::string(kWords[random_.PickSkewed(std::size(kWords))]);
  }

  // Mostly lower case, often capitalized, now and then all capitals.
  std::string Styled(std::string_view word) {
    const size_t style = random_.Below(100);
    if (style < 55) return std::string(word);
    if (style < 95) return Capitalized(word);
    return Upper(word);
  }

  std::string Year() { return std::to_string(kFirstYear + static_cast<int>(random_.Below(kYears))); }

  std::string DocumentName() {
    std::string first = random_.PerMillion(kRareNamesPerMillion * 100 / 35) ? kRareWord : Word();
    std::string name = Styled(first) + " " + Word();
    if (random_.Below(2) == 0) name += " " + Year();
    return name + "." + std::string(random_.Pick(kDocumentExtensions));
  }

  std::string PhotoName() {
    const size_t form = random_.Below(3);
    if (form == 0) return "IMG_" + Digits(random_, 4) + ".jpg";
    if (form == 1) return "DSC" + Digits(random_, 5) + ".JPG";
    return Styled(Word()) + " " + Year() + "-" + Digits(random_, 2) + "-" + Digits(random_, 2) +
           ".jpg";
  }

  std::string SourceName() {
    const std::string_view extension = random_.Pick(kCodeExtensions);
    if (random_.Below(2) == 0) return Word() + "_" + Word() + "." + std::string(extension);
    return Word() + Capitalized(Word()) + "." + std::string(extension);
  }

  TRandom& random_;
};

// Gives a name that no other entry of the folder has, numbering repeats as "name (2).ext".
std::string Unique(std::unordered_set<std::string>& taken, std::string name) {
  if (taken.insert(name).second) return name;
  const size_t dot = name.find('.');
  const std::string stem = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  for (size_t copy = 2;; ++copy) {
    std::string numbered = stem + " (" + std::to_string(copy) + ")" + extension;
    if (taken.insert(numbered).second) return numbered;
  }
}

// Picks a parent for a new folder among the existing ones, not already at the deepest level.
size_t PickParent(TRandom& random, const std::vector<size_t>& depths) {
  constexpr int kTries = 8;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const size_t candidate = random.Below(depths.size());
    if (depths[candidate] < kMaxDepth) return candidate;
  }
  return 0;
}

// Parents of folders 1..folders-1 (folder 0 is the root) and how many files each folder holds.
struct TShape {
  std::vector<size_t> parents;
  std::vector<size_t> fileCounts;
};

TShape PlanShape(TRandom& random, size_t folders, size_t files) {
  TShape shape{std::vector<size_t>(folders, 0), std::vector<size_t>(folders, 0)};
  std::vector<size_t> depths{0};
  for (size_t folder = 1; folder < folders; ++folder) {
    shape.parents[folder] = PickParent(random, depths);
    depths.push_back(depths[shape.parents[folder]] + 1);
  }
  std::vector<size_t> dumps;
  for (size_t i = 0; i < folders / kFoldersPerDump + 1; ++i) dumps.push_back(random.Below(folders));
  for (size_t file = 0; file < files; ++file) {
    const bool inDump = random.Below(100) < kDumpFilesPercent;
    ++shape.fileCounts[inDump ? dumps[random.Below(dumps.size())] : random.Below(folders)];
  }
  return shape;
}

}  // namespace

std::vector<TPlannedFolder> PlanTree(uint64_t seed, size_t entries) {
  TRandom random(seed);
  const size_t folders = entries / kEntriesPerFolder + 1;  // with the root, which is no entry
  const TShape shape = PlanShape(random, folders, entries - (folders - 1));

  std::vector<std::vector<size_t>> children(folders);
  for (size_t folder = 1; folder < folders; ++folder) children[shape.parents[folder]].push_back(folder);

  std::vector<TPlannedFolder> plan(folders);
  TNamer namer(random);
  for (size_t folder = 0; folder < folders; ++folder) {
    std::unordered_set<std::string> taken;
    for (const size_t child : children[folder]) {
      plan[child].parent = folder;
      plan[child].name = Unique(taken, namer.FolderName());
    }
    plan[folder].files.reserve(shape.fileCounts[folder]);
    for (size_t file = 0; file < shape.fileCounts[folder]; ++file) {
      plan[folder].files.push_back(Unique(taken, namer.FileName()));
    }
  }
  return plan;
}

}  // namespace webtessl::bench
