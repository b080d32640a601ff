#include "Synthesiser.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "core/Streams.h"
#include "model/Categories.h"
#include "model/Library.h"
#include "model/Segments.h"

namespace hv::hvlib {

namespace {

// splitmix64: small, fast, and the same sequence on every platform and library.
class TRandom {
public:
  explicit TRandom(std::uint64_t seed) : State(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (State += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from lo to hi inclusive.
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  bool Chance(int percent) { return Range(0, 99) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& items) { return items[static_cast<std::size_t>(Range(0, static_cast<int>(items.size()) - 1))]; }
  // Spread evenly on a logarithmic scale, so short texts are common and long ones rarer.
  std::size_t LogSize(std::size_t lo, std::size_t hi) {
    const double u = static_cast<double>(Next() >> 11) / 9007199254740992.0;
    return static_cast<std::size_t>(std::exp(std::log(static_cast<double>(lo)) +
                                             u * (std::log(static_cast<double>(hi)) - std::log(static_cast<double>(lo)))));
  }

private:
  std::uint64_t State;
};

const std::vector<std::string> kWords = {
    "force",     "energy",     "mass",        "velocity",   "current",    "voltage",    "resistance", "wave",
    "frequency", "amplitude",  "charge",      "field",      "particle",   "nucleus",    "radiation",  "density",
    "pressure",  "temperature", "heat",       "power",      "work",       "momentum",   "acceleration", "distance",
    "time",      "speed",      "circuit",     "magnet",     "coil",       "lens",       "mirror",     "light",
    "sound",     "spring",     "extension",   "gradient",   "graph",      "table",      "reading",    "student",
    "experiment", "apparatus", "measurement", "uncertainty", "result",    "value",      "change",     "increase",
    "decrease",  "constant",   "the",         "a",          "of",         "and",        "in",         "to",
    "is",        "was",        "when",        "which",      "shows",      "calculate",  "explain",    "describe",
    "suggest",   "state",      "give",        "reason",     "your",       "answer",     "using",      "equation",
    "between",   "after",      "before",      "during",     "each",       "two",        "three",      "small",
    "large",     "thin",       "metal",       "wire",       "beaker",     "water",      "trolley",    "ramp"};

const std::vector<std::string> kAreas = {"Mechanics",   "Electricity",   "Waves",       "Matter",   "Atomic physics",
                                         "Space physics", "Magnetism",    "Thermal physics", "Optics", "Fields",
                                         "Nuclear physics", "Materials",  "Quantum physics", "Astrophysics", "Sound"};
const std::vector<std::string> kSubjects = {"Forces",     "Motion",     "Energy",    "Circuits", "Power",     "Pressure",
                                            "Refraction", "Reflection", "Radiation", "Decay",    "Momentum",  "Density",
                                            "Induction",  "Orbits",     "Spectra",   "Springs",  "Efficiency", "Charge"};
const std::vector<std::string> kTypes = {"Multiple choice", "Short answer", "Structured", "Calculation",
                                         "Extended response"};
const std::vector<std::string> kLevels = {"Foundation", "Higher", "Both tiers"};

std::string Padded(int value, int width) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

int Digits(int value) { return static_cast<int>(std::to_string(value).size()); }

// Plain words for titles: no markup, first letter capitalised, no full stop.
std::string Phrase(TRandom& random, int words, bool capital = true) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    std::string w = random.Pick(kWords);
    if (i == 0 && capital) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    if (i > 0) s += ' ';
    s += w;
  }
  return s;
}

std::string Sentence(TRandom& random, int words) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    std::string w = random.Pick(kWords);
    if (i == 0) w[0] = static_cast<char>(w[0] - 'a' + 'A');
    if (i > 0) s += ' ';
    switch (random.Range(0, 39)) {
      case 0: s += "{\\b " + w + "}"; break;
      case 1: s += "{\\i " + w + "}"; break;
      case 2: s += w + "{\\super 2}"; break;
      case 3: s += "H{\\sub 2}O"; break;
      case 4: s += std::to_string(random.Range(2, 99)) + " \\'b0C"; break;
      case 5: s += std::to_string(random.Range(1, 470)) + " {\\uc1\\u937?}"; break;
      default: s += w;
    }
  }
  return s + ". ";
}

}  // namespace

std::string SynthesiseRtf(std::uint64_t seed, std::size_t bytes) {
  TRandom random(seed);
  const std::string header =
      "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}"
      "{\\f1\\fswiss\\fcharset0 Arial;}{\\f2\\fmodern\\fcharset0 Courier New;}}"
      "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;}\\paperw11906\\paperh16838\\margl1134\\margr1134\n";
  // The last block may overshoot the target by about a paragraph, so long targets stop short of
  // 20 KB by that much.
  bytes = std::clamp<std::size_t>(bytes, 1024, 20 * 1024 - 1536);
  std::string tail = "\\pard\\plain\\sb240\\f2\\fs20 ";
  tail += std::string(static_cast<std::size_t>(random.Range(20, 60)), '.');
  tail += "\\par\n\\pard\\plain\\f0\\fs24\\par -\\par}";
  std::string rtf = header;
  rtf.reserve(bytes + 2048);
  while (rtf.size() + tail.size() < bytes) {
    const int kind = random.Range(0, 9);
    if (kind == 0) {
      const int columns = random.Range(2, 4);
      const int rows = random.Range(2, 5);
      for (int r = 0; r < rows; ++r) {
        rtf += "\\trowd\\trgaph108";
        for (int c = 1; c <= columns; ++c) rtf += "\\cellx" + std::to_string(c * 9000 / columns);
        rtf += "\\pard\\plain\\intbl\\f1\\fs20 ";
        for (int c = 0; c < columns; ++c)
          rtf += (r == 0 ? "{\\b " + random.Pick(kWords) + "}" : std::to_string(random.Range(1, 999)) + "." +
                                                                   std::to_string(random.Range(0, 9))) +
                 "\\cell ";
        rtf += "\\row\n";
      }
    } else if (kind == 1) {
      rtf += "\\pard\\plain\\sb120\\sa60\\f1\\fs24\\b (" + std::string(1, static_cast<char>('a' + random.Range(0, 5))) +
             ")\\b0  " + Sentence(random, random.Range(6, 14)) + "\\tab\\tab [" + std::to_string(random.Range(1, 6)) +
             " marks]\\par\n";
    } else {
      rtf += "\\pard\\plain\\sa120\\f0\\fs24 ";
      const int sentences = random.Range(2, 6);
      for (int i = 0; i < sentences; ++i) rtf += Sentence(random, random.Range(8, 20));
      rtf += "\\par\n";
    }
  }
  return rtf + tail;
}

TBuildResult SynthesiseLibrary(int questions, const std::string& outDir) {
  RegisterModelClasses();
  const int n = std::max(questions, 1);
  TRandom random(0x4861727276616E65ull ^ static_cast<std::uint64_t>(n));
  TLibraryWriter writer(outDir, kSynthKey);
  std::unique_ptr<TLibrary> library = TLibrary::CreateEmpty();
  library->Name = "Synthetic library (" + std::to_string(n) + " questions)";
  library->Name.resize(std::min<std::size_t>(library->Name.size(), kMaxCategoryName));
  library->Topics->SetName("All topics");
  library->QuestionTypes->SetName("All question types");
  library->Levels->SetName("All levels");
  library->Papers->SetName("All papers");
  library->QuestionTree->SetName("All questions");
  library->SyllabusTree->SetName("Specification");
  library->ResourceTree->SetName("All resources");

  auto text = [&](TTextSegment& segment, std::size_t lo, std::size_t hi) {
    writer.AddText(segment, SynthesiseRtf(random.Next(), random.LogSize(lo, hi)));
  };
  auto identity = [](TIdentityCategory* parent, const std::string& code, const std::string& title) {
    auto* node = static_cast<TIdentityCategory*>(parent->CreateChild());
    node->SetCode(code);
    node->SetTitle(title);
    node->SetName(node->Title);
    return node;
  };

  // Topics: about sqrt(n) in two levels.
  const int topicCount = std::max(2, static_cast<int>(std::lround(std::sqrt(static_cast<double>(n)))));
  const int areas = std::max(1, static_cast<int>(std::lround(std::sqrt(static_cast<double>(topicCount)))));
  std::vector<TCategory*> leafTopics;
  for (int a = 0; a < areas; ++a) {
    TCategory* area = library->Topics->CreateChild();
    const std::string& areaName = kAreas[static_cast<std::size_t>(a) % kAreas.size()];
    area->SetName(a < static_cast<int>(kAreas.size()) ? areaName : areaName + " " + std::to_string(a / kAreas.size() + 1));
    const int children = topicCount / areas + (a < topicCount % areas ? 1 : 0);
    for (int c = 0; c < children; ++c) {
      TCategory* topic = area->CreateChild();
      const std::size_t g = leafTopics.size();
      topic->SetName(kSubjects[g % kSubjects.size()] + (g < kSubjects.size() ? "" : " " + std::to_string(g / kSubjects.size() + 1)));
      leafTopics.push_back(topic);
    }
  }
  std::vector<TCategory*> types, levels;
  for (const std::string& name : kTypes) {
    types.push_back(library->QuestionTypes->CreateChild());
    types.back()->SetName(name);
  }
  for (const std::string& name : kLevels) {
    levels.push_back(library->Levels->CreateChild());
    levels.back()->SetName(name);
  }

  // Specification: a section per topic area, a subsection per topic, about n/4 statements.
  const int statementCount = std::max(1, n / 4);
  std::vector<std::vector<TIdentityCategory*>> statementsByTopic(leafTopics.size());
  std::vector<TIdentityCategory*> allStatements;
  {
    std::size_t topicIndex = 0;
    for (std::size_t a = 0; a < library->Topics->Children.size(); ++a) {
      TCategory* area = library->Topics->Children[a];
      TIdentityCategory* section = identity(library->SyllabusTree, std::to_string(a + 1) + ".", area->Name);
      for (std::size_t t = 0; t < area->Children.size(); ++t, ++topicIndex) {
        TIdentityCategory* sub = identity(section, std::to_string(t + 1) + ".", area->Children[t]->Name);
        const int count = statementCount / static_cast<int>(leafTopics.size()) +
                          (static_cast<int>(topicIndex) < statementCount % static_cast<int>(leafTopics.size()) ? 1 : 0);
        for (int s = 0; s < count; ++s) {
          TIdentityCategory* statement =
              identity(sub, std::to_string(s + 1), "Students should be able to " + Phrase(random, 6, false));
          text(*statement->AddSyllabus(), 1024, 4096);
          statementsByTopic[topicIndex].push_back(statement);
          allStatements.push_back(statement);
        }
      }
    }
  }

  // Resources: about n/50, each related to one statement.
  const int resourceCount = std::max(1, n / 50);
  std::vector<TIdentityCategory*> resources;
  const int resourceWidth = std::max(2, Digits(resourceCount));
  for (int r = 0; r < resourceCount; ++r) {
    const char* kinds[] = {"Data sheet", "Worksheet", "Practical guide"};
    TIdentityCategory* node = identity(library->ResourceTree, "R" + Padded(r + 1, resourceWidth),
                                       std::string(kinds[r % 3]) + " " + std::to_string(r + 1));
    text(*node->AddResource(), 2048, 20 * 1024);
    if (!allStatements.empty()) {
      TIdentityCategory* statement = random.Pick(allStatements);
      node->Related.push_back(statement);
      statement->Related.push_back(node);
    }
    resources.push_back(node);
  }

  // Papers of about 40 question texts each; a question number holds one text or 2 to 4 parts.
  const int paperCount = std::max(1, static_cast<int>(std::lround(n / 40.0)));
  const int paperWidth = std::max(2, Digits(paperCount));
  for (int p = 0; p < paperCount; ++p) {
    TCategory* paperCategory = library->Papers->CreateChild();
    paperCategory->SetName("Paper " + std::to_string(p + 1));
    TIdentityCategory* paper = identity(library->QuestionTree, "P" + Padded(p + 1, paperWidth),
                                        "Paper " + std::to_string(p + 1) + ": " + kAreas[static_cast<std::size_t>(p) % kAreas.size()]);
    const int share = n / paperCount + (p < n % paperCount ? 1 : 0);
    int inPaper = 0;
    for (int number = 1; inPaper < share; ++number) {
      const std::size_t topicIndex = static_cast<std::size_t>(random.Range(0, static_cast<int>(leafTopics.size()) - 1));
      TCategory* topic = leafTopics[topicIndex];
      TIdentityCategory* numberNode =
          identity(paper, Padded(number, 2), topic->Name + ": " + Phrase(random, random.Range(2, 6)));
      const int parts = std::min(random.Chance(50) ? 1 : random.Range(2, 4), share - inPaper);
      std::vector<TIdentityCategory*> holders;
      if (parts == 1) {
        holders.push_back(numberNode);
      } else {
        for (int part = 0; part < parts; ++part)
          holders.push_back(identity(numberNode, std::string(1, static_cast<char>('a' + part)),
                                     Phrase(random, random.Range(2, 6)) + " (" + static_cast<char>('a' + part) + ")"));
      }
      for (TIdentityCategory* holder : holders) {
        TQuestion* question = holder->AddQuestion();
        question->Marks = static_cast<std::int16_t>(random.Range(1, 6));
        question->Time = static_cast<std::int16_t>(question->Marks + random.Range(0, question->Marks));
        text(*question, 1024, 20 * 1024);
        question->Topics.push_back(topic);
        if (random.Chance(25)) {
          TCategory* second = random.Pick(leafTopics);
          if (second != topic) question->Topics.push_back(second);
        }
        question->QuestionType = random.Pick(types);
        question->Level = random.Pick(levels);
        question->Papers.push_back(paperCategory);
        if (random.Chance(10)) question->Resources.push_back(random.Pick(resources));

        TMarkScheme* scheme = holder->AddMarkScheme();
        scheme->Marks = question->Marks;
        scheme->Time = question->Time;
        text(*scheme, 1024, 8 * 1024);
        if (random.Chance(80)) {
          TExaminersReport* report = holder->AddExaminersReport();
          report->Marks = question->Marks;
          report->Time = question->Time;
          text(*report, 1024, 10 * 1024);
        }
        if (random.Chance(20)) text(*holder->AddNote(), 1024, 4096);

        const auto& candidates = statementsByTopic[topicIndex].empty() ? allStatements : statementsByTopic[topicIndex];
        const int links = random.Range(1, 2);
        for (int l = 0; l < links && !candidates.empty(); ++l) {
          TIdentityCategory* statement = random.Pick(candidates);
          if (std::find(holder->Related.begin(), holder->Related.end(), statement) != holder->Related.end()) continue;
          holder->Related.push_back(statement);
          statement->Related.push_back(holder);
        }
        ++inPaper;
      }
    }
  }
  return writer.Finish(*library, "Harrowvane Synthetic School", {{"FlagResource", "1"}, {"UseResource", "1"}});
}

void EnsureSynthesisedLibrary(int questions, const std::string& outDir) {
  // Bump the version when the synthesiser changes its output.
  const std::string stamp = "synth " + std::to_string(questions) + " v1";
  {
    std::ifstream in(outDir + "/stamp");
    std::string line;
    std::getline(in, line);
    if (line == stamp && FileExists(outDir + "/Synth.dat") && FileExists(outDir + "/Synth.txt")) return;
  }
  std::cout << "Synthesising " << questions << " questions into " << outDir << " ..." << std::endl;
  const pid_t child = fork();
  if (child == 0) {
    try {
      SynthesiseLibrary(questions, outDir);
      std::ofstream(outDir + "/stamp") << stamp << "\n";
      _exit(0);
    } catch (const std::exception& e) {
      std::cerr << "synthesis failed: " << e.what() << std::endl;
      _exit(1);
    }
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::cerr << "could not synthesise the benchmark library" << std::endl;
    std::exit(1);
  }
}

}  // namespace hv::hvlib
