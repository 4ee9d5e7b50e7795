#include "stream_judges.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace tsmerge::testing {
namespace {

namespace fs = std::filesystem;

struct CommandResult {
  int status = -1;  // the exit status, or -1 when the program did not run to an exit
  std::string output;
};

// Runs a shell command, stdout and stderr together.
CommandResult runCommand(const std::string& command) {
  CommandResult r;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) r.output.append(chunk.data(), n);
  const int raw = ::pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

std::string quoted(const fs::path& p) {
  std::string q = "'";
  for (char c : p.string()) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

int countLines(const std::string& text, const std::string& needle) {
  int n = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) n += line.find(needle) != std::string::npos;
  return n;
}

}  // namespace

void judgePackets(std::string_view bytes, Judgement& j) {
  std::array<int, 8192> lastCc;
  lastCc.fill(-1);
  std::array<bool, 8192> repeated{};
  std::map<int, std::int64_t> lastPcr;
  for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    if (p[0] != 0x47) continue;
    ++j.packets;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    if (pid == 0x1FFF) continue;
    const int control = (p[3] >> 4) & 3;
    const int cc = p[3] & 0x0F;
    const bool payload = (control & 1) != 0;
    const bool adaptation = (control & 2) != 0;
    const int adaptationLength = adaptation ? p[4] : 0;
    const bool discontinuity = adaptation && adaptationLength > 0 && (p[5] & 0x80) != 0;
    if (lastCc[pid] >= 0 && !discontinuity) {
      const int last = lastCc[pid];
      const bool next = cc == ((last + 1) & 0xF);
      // A packet without payload repeats the count; one duplicate of a payload packet may too.
      const bool repeat = cc == last && (!payload || !repeated[pid]);
      if (payload ? !(next || repeat) : cc != last) ++j.counterBreaks;
      repeated[pid] = payload && cc == last;
    }
    lastCc[pid] = cc;
    if (adaptation && adaptationLength >= 7 && (p[5] & 0x10) != 0) {
      const std::int64_t base = (std::int64_t{p[6]} << 25) | (p[7] << 17) | (p[8] << 9) |
                                (p[9] << 1) | (p[10] >> 7);
      const std::int64_t pcr = base * 300 + (((p[10] & 1) << 8) | p[11]);
      const auto previous = lastPcr.find(pid);
      if (previous != lastPcr.end()) {
        // Read the step the shorter way round the 2^33 × 300 wrap.
        constexpr std::int64_t kModulus = (std::int64_t{1} << 33) * 300;
        std::int64_t step = ((pcr - previous->second) % kModulus + kModulus) % kModulus;
        if (step >= kModulus / 2) step -= kModulus;
        if (step < 0) ++j.pcrStepsBack;
      }
      lastPcr[pid] = pcr;
    }
  }
}

namespace {

struct ProbedPacket {
  int stream = 0;
  std::int64_t pts = 0, dts = 0, duration = 0, pos = -1;
  bool hasPts = false, hasDts = false;
  std::int64_t decode() const { return hasDts ? dts : pts; }
};

std::vector<ProbedPacket> probePackets(const fs::path& file, std::map<int, std::string>& types) {
  std::istringstream streams(
      runCommand("ffprobe -v error -show_entries stream=index,codec_type -of csv=p=0 " +
                 quoted(file))
          .output);
  for (std::string line; std::getline(streams, line);) {
    const auto comma = line.find(',');
    if (comma == std::string::npos || comma == 0) continue;
    std::string type = line.substr(comma + 1);
    if (auto c = type.find(','); c != std::string::npos) type.resize(c);
    types[std::atoi(line.c_str())] = type;
  }
  std::vector<ProbedPacket> packets;
  std::istringstream lines(runCommand("ffprobe -v error -show_entries "
                                      "packet=stream_index,pts,dts,duration,pos -of csv=p=0 " +
                                      quoted(file))
                               .output);
  const auto number = [](const std::string& s, std::int64_t& v) {
    if (s.empty() || s == "N/A") return false;
    v = std::stoll(s);
    return true;
  };
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
    if (f.size() < 5 || f[0].empty() || f[0].find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    ProbedPacket k;
    k.stream = std::stoi(f[0]);
    k.hasPts = number(f[1], k.pts);
    k.hasDts = number(f[2], k.dts);
    number(f[3], k.duration);
    number(f[4], k.pos);
    if (k.hasPts || k.hasDts) packets.push_back(k);
  }
  return packets;
}

struct Extent {
  std::int64_t start = INT64_MAX, end = INT64_MIN;
  bool found() const { return start != INT64_MAX; }
};

Extent extentOf(const std::vector<ProbedPacket>& packets, int stream, std::int64_t from,
                std::int64_t to) {
  Extent e;
  for (const ProbedPacket& k : packets) {
    if (k.stream != stream || !k.hasPts || k.pos < from || k.pos >= to) continue;
    e.start = std::min(e.start, k.pts);
    e.end = std::max(e.end, k.pts + k.duration);
  }
  return e;
}

void judgeStreams(const std::vector<ProbedPacket>& packets,
                  const std::map<int, std::string>& types, Judgement& j) {
  std::int64_t first = INT64_MAX, last = INT64_MIN;
  for (const auto& [index, type] : types) {
    StreamJudgement s;
    s.index = index;
    s.type = type;
    std::map<std::int64_t, int> durations;
    for (const ProbedPacket& k : packets) {
      if (k.stream == index && k.duration > 0) ++durations[k.duration];
    }
    for (const auto& [d, n] : durations) {
      if (s.frame == 0 || n > durations[s.frame]) s.frame = d;
    }
    const Extent e = extentOf(packets, index, INT64_MIN, INT64_MAX);
    if (e.found()) {
      s.start = e.start;
      s.end = e.end;
      first = std::min(first, e.start);
      last = std::max(last, e.end);
    }
    const ProbedPacket* previous = nullptr;
    for (const ProbedPacket& k : packets) {
      if (k.stream != index) continue;
      if (s.packets++ == 0) s.decodeStart = k.decode();
      s.decodeEnd = k.decode() + (k.duration > 0 ? k.duration : s.frame);
      if (previous != nullptr) {
        s.dtsStepsBack += k.decode() < previous->decode();
        const std::int64_t step = previous->duration > 0 ? previous->duration : s.frame;
        const std::int64_t gap = k.decode() - previous->decode() - step;
        if (s.frame > 0 && gap > s.frame) {
          ++s.gapsOverFrame;
          s.largestGap = std::max(s.largestGap, gap);
        }
      }
      previous = &k;
    }
    j.streams.push_back(s);
  }
  if (first != INT64_MAX) j.span = last - first;
}

void judgeOffsets(const std::vector<ProbedPacket>& out,
                  const std::map<int, std::string>& outTypes, const std::vector<SourceRange>& sources,
                  Judgement& j) {
  const auto videoOf = [](const std::map<int, std::string>& types) {
    for (const auto& [index, type] : types) {
      if (type == "video") return index;
    }
    return -1;
  };
  std::int64_t worst = 0;
  const int outVideo = videoOf(outTypes);
  for (const SourceRange& source : sources) {
    std::map<int, std::string> types;
    const std::vector<ProbedPacket> in = probePackets(source.file, types);
    const int video = videoOf(types);
    if (video < 0 || outVideo < 0) continue;
    const Extent v = extentOf(in, video, INT64_MIN, INT64_MAX);
    const Extent vOut = extentOf(out, outVideo, source.from, source.to);
    if (!v.found() || !vOut.found()) continue;
    for (const auto& [index, type] : types) {
      if (index == video || !outTypes.count(index)) continue;
      const Extent s = extentOf(in, index, INT64_MIN, INT64_MAX);
      const Extent sOut = extentOf(out, index, source.from, source.to);
      if (!s.found() || !sOut.found()) continue;
      worst = std::max(worst, std::abs((sOut.start - vOut.start) - (s.start - v.start)));
    }
  }
  j.offsetError = worst;
}

// "Duration: 0:00:06.037000000" from gst-discoverer-1.0.
std::optional<double> discovererDuration(const std::string& text) {
  const auto at = text.find("Duration: ");
  if (at == std::string::npos) return std::nullopt;
  int hours = 0, minutes = 0;
  double seconds = 0;
  if (std::sscanf(text.c_str() + at + 10, "%d:%d:%lf", &hours, &minutes, &seconds) != 3) {
    return std::nullopt;
  }
  return hours * 3600.0 + minutes * 60.0 + seconds;
}

void judgeWithGstreamer(const fs::path& file, Judgement& j) {
  const CommandResult demuxed = runCommand(
      "GST_DEBUG_NO_COLOR=1 GST_DEBUG=mpegtspacketizer:2,mpegtsbase:2,tsdemux:2 "
      "gst-launch-1.0 -q filesrc location=" + quoted(file) + " ! tsdemux ! fakesink sync=false");
  j.gstResets = countLines(demuxed.output, "RESET");
  j.gstDiscontinuities = countLines(demuxed.output, "discontinuity") +
                         countLines(demuxed.output, "Discontinuity");
  j.gstDuration = discovererDuration(runCommand("gst-discoverer-1.0 " + quoted(file)).output);
}

void judgeWithMkvmerge(const fs::path& file, Judgement& j) {
  const CommandResult identified = runCommand("mkvmerge -J " + quoted(file));
  char pattern[] = "/tmp/tsmerge-judge-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return;
  const fs::path mkv = fs::path(pattern) / "remux.mkv";
  const CommandResult remuxed = runCommand("mkvmerge -q -o " + quoted(mkv) + " " + quoted(file));
  // -J lists warnings and errors as JSON arrays; an empty one is "[]".
  int warnings = countLines(remuxed.output, "Warning:") + countLines(remuxed.output, "Error:");
  for (const char* key : {"\"warnings\":", "\"errors\":"}) {
    const auto at = identified.output.find(key);
    if (at == std::string::npos) continue;
    const auto open = identified.output.find('[', at);
    const auto close = identified.output.find_first_not_of(" \n\r\t", open + 1);
    warnings += close != std::string::npos && identified.output[close] != ']';
  }
  j.mkvWarnings = warnings + (remuxed.status == 2 ? 1 : 0);
  const std::string info = runCommand("mkvmerge -J " + quoted(mkv)).output;
  const auto at = info.find("\"duration\":");
  if (at != std::string::npos) j.mkvDuration = std::atof(info.c_str() + at + 11) / 1e9;
  std::error_code ignored;
  fs::remove_all(pattern, ignored);
}

}  // namespace

const StreamJudgement* Judgement::stream(const std::string& type) const {
  for (const StreamJudgement& s : streams) {
    if (s.type == type) return &s;
  }
  return nullptr;
}

std::int64_t Judgement::referenceSpan() const {
  const StreamJudgement* s = stream("video");
  if (s == nullptr && !streams.empty()) s = &streams.front();
  return s == nullptr ? 0 : s->end - s->start;
}

int Judgement::dtsStepsBack() const {
  int n = 0;
  for (const StreamJudgement& s : streams) n += s.dtsStepsBack;
  return n;
}

int Judgement::gapsOverFrame() const {
  int n = 0;
  for (const StreamJudgement& s : streams) n += s.gapsOverFrame;
  return n;
}

bool haveProgram(const std::string& name) {
  return runCommand("command -v " + name + " >/dev/null").status == 0;
}

bool haveFfprobe() { return haveProgram("ffprobe") && haveProgram("ffmpeg"); }
bool haveGstreamer() { return haveProgram("gst-launch-1.0") && haveProgram("gst-discoverer-1.0"); }
bool haveMkvmerge() { return haveProgram("mkvmerge"); }

Judgement probeStreams(const fs::path& file) {
  Judgement j;
  std::map<int, std::string> types;
  const std::vector<ProbedPacket> packets = probePackets(file, types);
  judgeStreams(packets, types, j);
  return j;
}

Judgement judgeStream(const fs::path& file, const std::vector<SourceRange>& sources) {
  Judgement j;
  {
    std::ifstream in(file, std::ios::binary);
    judgePackets(std::string{std::istreambuf_iterator<char>(in), {}}, j);
  }
  if (haveFfprobe()) {
    std::map<int, std::string> types;
    const std::vector<ProbedPacket> packets = probePackets(file, types);
    judgeStreams(packets, types, j);
    if (!sources.empty()) judgeOffsets(packets, types, sources, j);
    // The demuxer's time base for the encoders, so that frames of a later, higher frame rate are
    // not read as a fault of the stream.
    j.ffmpegMessages = runCommand("ffmpeg -nostdin -v error -i " + quoted(file) +
                                  " -enc_time_base -1 -f null -")
                           .output;
  }
  if (haveGstreamer()) judgeWithGstreamer(file, j);
  if (haveMkvmerge()) judgeWithMkvmerge(file, j);
  return j;
}

}  // namespace tsmerge::testing
