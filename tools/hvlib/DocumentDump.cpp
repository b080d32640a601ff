#include "DocumentDump.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "Cp1252.h"
#include "LibraryDump.h"
#include "LibraryOpen.h"
#include "model/Segments.h"

namespace hv::hvlib {

namespace {

using TJson = nlohmann::ordered_json;

std::string U(std::string_view cp1252) { return Cp1252ToUtf8(cp1252); }

struct TEntryInfo {
  std::string Number;  // "-" when not numbered
  std::string Kind;
  std::string Id;
  std::string From;  // the library item an own text was made from
  std::string Name;
  int Marks = 0;
  int Time = 0;
  bool HasRtf = false;
  std::size_t RtfBytes = 0;
  std::string RtfError;
};

TEntryInfo Describe(const TLibrary& library, TDocContent& entry) {
  TEntryInfo info;
  info.Number = entry.Numbered ? std::to_string(entry.Number) : "-";
  TTextSegment* segment = entry.Segment;
  info.Kind = entry.Placeholder ? "missing" : !entry.Damage.empty() ? "damaged" : entry.OwnsSegment() ? "text" : "library";
  if (segment == nullptr) return info;
  if (!entry.Damage.empty()) info.RtfError = entry.Damage;
  info.Name = segment->GetName();
  info.Marks = segment->Marks;
  info.Time = segment->Time;
  if (entry.OwnsSegment()) {
    info.Id = "T";
    if (segment->Identity != nullptr) info.From = IdentityRef(library, segment->Identity);
    if (segment->Chunk != nullptr && entry.Damage.empty()) {
      info.HasRtf = true;
      try {
        info.RtfBytes = SegmentRtf(*segment).size();
      } catch (const std::exception& e) {
        info.RtfError = e.what();
      }
    }
  } else {
    info.Id = segment->GetID();
  }
  return info;
}

}  // namespace

std::string DocumentSubject(const std::string& fileName) { return ReadDocumentSubject(fileName); }

TDecodedDocument DecodeDocument(const std::string& fileName, const TLibraryOpener& open) {
  RegisterModelClasses();
  TDecodedDocument decoded;
  decoded.FileName = fileName;
  const std::string subject = ReadDocumentSubject(fileName);
  decoded.Library = open(subject);
  TCurrentLibraryScope scope(decoded.Library.Library.get());
  decoded.File = DecodeDocumentFile(fileName, subject);
  return decoded;
}

int DumpDocument(TDecodedDocument& decoded, std::ostream& out, bool json) {
  const TLibrary& library = *decoded.Library.Library;
  const TDocument& document = *decoded.File.Document;
  std::vector<TEntryInfo> entries;
  for (TDocContent* entry : document.Entries) entries.push_back(Describe(library, *entry));
  const auto unreadable = static_cast<int>(
      std::count_if(entries.begin(), entries.end(), [](const TEntryInfo& e) { return !e.RtfError.empty(); }));

  if (json) {
    TJson j;
    j["file"] = decoded.FileName;
    j["version"] = decoded.File.Version;
    j["subject"] = U(decoded.File.Subject);
    j["streamOffset"] = decoded.File.StreamOffset;
    TJson list = TJson::array();
    for (const TEntryInfo& e : entries) {
      TJson item;
      item["number"] = e.Number == "-" ? TJson() : TJson(std::stoi(e.Number));
      item["kind"] = e.Kind;
      item["id"] = U(e.Id);
      if (!e.From.empty()) item["from"] = U(e.From);
      item["name"] = U(e.Name);
      item["marks"] = e.Marks;
      item["time"] = e.Time;
      if (!e.RtfError.empty())
        item["rtfError"] = e.RtfError;
      else if (e.HasRtf)
        item["rtfBytes"] = e.RtfBytes;
      list.push_back(std::move(item));
    }
    j["entries"] = std::move(list);
    j["totalMarks"] = document.TotalMarks();
    j["totalTime"] = document.TotalTime();
    out << j.dump(2) << "\n";
    return unreadable;
  }
  out << "Document " << decoded.FileName << ": version " << decoded.File.Version << ", library \""
      << U(decoded.File.Subject) << "\", " << entries.size() << " entries, object stream at "
      << decoded.File.StreamOffset << "\n";
  for (const TEntryInfo& e : entries) {
    out << "  " << e.Number << "  " << U(e.Id);
    if (!e.From.empty()) out << " from " << U(e.From);
    out << "  \"" << U(e.Name) << "\"  marks " << e.Marks << "  time " << e.Time;
    if (e.Kind == "missing")
      out << "  missing from the library";
    else if (!e.RtfError.empty())
      out << "  rtf unreadable: " << e.RtfError;
    else if (e.HasRtf)
      out << "  rtf " << e.RtfBytes << " bytes";
    out << "\n";
  }
  out << "Total: marks " << document.TotalMarks() << ", time " << document.TotalTime() << " min\n";
  return unreadable;
}

}  // namespace hv::hvlib
