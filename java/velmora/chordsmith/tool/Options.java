package velmora.chordsmith.tool;

import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Set;
import java.util.regex.Pattern;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.EqCurve;
import velmora.chordsmith.VoiceFilter;
import velmora.chordsmith.audio.OutputFormat;
import velmora.chordsmith.engine.Mix;
import velmora.chordsmith.engine.StretchPlan;

/** The command line, parsed and range-checked. Every option takes "--name value" or "--name=value". */
final class Options {
  static final double MIN_SPEED = 0.25;
  static final double MAX_SPEED = 4.0;
  static final double DEFAULT_SPEED = 0.75;
  static final int MIN_FRAME = 256;
  static final int MAX_LOOPS = 1000;
  static final Path DEFAULT_EXAMPLE_FOLDER = Path.of("chordsmith-example");
  /** The name that stands for standard input or output. */
  static final String STANDARD = "-";

  static final String USAGE = String.join("\n",
      "Usage: chordsmith [options] [INPUT]",
      "",
      "Changes the speed of a recording without changing its pitch. INPUT is any audio file:",
      "WAV, AIFF and AU directly, MP3, AAC/M4A, FLAC, Ogg and the rest through FFmpeg; - reads",
      "standard input. Three or more channels are folded to stereo. The output has the input's",
      "sample rate, in the format its name's extension asks for. With no INPUT, makes an example",
      "song and writes the original, the slowed version and a spectrum picture into a folder.",
      "chordsmith play [FILE] opens the practice player.",
      "",
      "Options:",
      "  -s, --speed X          playback speed, 0.25 to 4 (or a percentage, 75%); default 0.75",
      "  -o, --output PATH      the output (default: INPUT-0.75x.EXT beside INPUT); - writes",
      "                         standard output; with no INPUT, the example's folder (default",
      "                         ./chordsmith-example)",
      "      --format F         the output's format: wav, flac, aiff, mp3, ogg, opus or m4a;",
      "                         default from the output's extension, WAV on standard output",
      "      --bits N           16 or 24 bits per sample in WAV, FLAC and AIFF; default 16",
      "      --start T          process only from T on: seconds (75.5) or m:ss (1:15.5)",
      "      --end T            ... up to T",
      "      --loop N           play the passage N times, joined without a click; default 1",
      "      --spectrum PNG     draw the output's spectrum, notes C1 to B6 over time, as a PNG",
      "      --frame-size N     analysis frame, 256 to 4096, a power of two; default 2048",
      "      --oversampling N   frames overlapping each frame length: 2, 4, 8, 16 or 32;",
      "                         default 4, or what a slower speed needs (8 below 0.5)",
      "      --preamp DB        output gain in dB, -24 to +24; default 0",
      "      --headroom H       auto: keep the preamp and, if the limiter had to act, give the",
      "                         preamp that keeps the peak at -1 dBFS (default); fit: then run",
      "                         again with it (files only)",
      "      --balance B        stereo: -100 plays the left channel on both sides, 100 the",
      "                         right, values between move one side toward the other; default 0",
      "      --mono             stereo: both sides carry the average of the two",
      "      --remove-voice A   stereo: subtract what the channels share in the vocal band,",
      "                         amount 0 to 2 (1 cancels a centred voice); default off",
      "      --voice-band LO-HI the vocal band in Hz for --remove-voice; default 150-6000",
      "      --stereo MODE      stereo: linked (the default) stretches both channels together,",
      "                         keeping the stereo image and the mono sum; independent",
      "                         stretches each on its own (wider, phasey, weaker in mono)",
      "      --eq BANDS         equaliser, e.g. bass=+4,mid=-3,2.5k=-6: dB from -30 to +12 at",
      "                         sub (40 Hz), bass (100), low-mid (300), mid (1k), high-mid (3k),",
      "                         treble (8k) or any frequency; the curve runs smoothly between",
      "  -q, --quiet            no progress bar",
      "  -h, --help             show this help",
      "      --version          show the version",
      "",
      "With -o - only audio goes to standard output; the summary goes to standard error.",
      "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a bad command",
      "line. Files are written completely or not at all.");

  /** Options that take a value; the others are switches. */
  private static final Set<String> VALUED = Set.of("-s", "--speed", "-o", "--output", "--format", "--bits",
      "--start", "--end", "--loop", "--spectrum", "--frame-size", "--oversampling", "--preamp", "--headroom",
      "--balance", "--remove-voice", "--voice-band", "--stereo", "--eq");
  private static final Set<String> SWITCHES = Set.of("-h", "--help", "--version", "-q", "--quiet", "--mono");

  /** What to do about a limiter that had to act. */
  enum Headroom { AUTO, FIT }

  /** The input file, or null for the example or standard input. */
  Path input;
  boolean stdin;
  /** The output as given, or null for the default; unused when writing standard output. */
  Path output;
  boolean stdout;
  OutputFormat format;
  int bits = 16;
  boolean bitsGiven;
  double startSeconds = 0;
  /** -1: the end of the recording. */
  double endSeconds = -1;
  int loops = 1;
  Path spectrum;
  double speed = DEFAULT_SPEED;
  int frameSize = 2048;
  /** 0 until set: chosen for the speed by {@link #checkGeometry}. */
  int overSampling = 0;
  double preampDb = 0;
  Headroom headroom = Headroom.AUTO;
  int balance = 0;
  boolean balanceGiven;
  boolean mono;
  double voiceAmount = 0;
  double voiceLowHz = VoiceFilter.DEFAULT_LOW_HZ;
  double voiceHighHz = VoiceFilter.DEFAULT_HIGH_HZ;
  boolean voiceBandGiven;
  boolean stereoLink = true;
  boolean stereoGiven;
  EqCurve eq;
  boolean quiet;
  boolean help;
  boolean version;

  static Options parse(String[] args) throws ToolException {
    Options o = new Options();
    boolean optionsEnded = false;
    boolean hasInput = false;
    for (int i = 0; i < args.length; i++) {
      String arg = args[i];
      if (optionsEnded || !arg.startsWith("-") || arg.equals(STANDARD)) {
        if (hasInput) {
          Object first = o.stdin ? STANDARD : o.input;
          throw ToolException.usage("one input file at a time: got " + first + " and " + arg);
        }
        hasInput = true;
        if (arg.equals(STANDARD) && !optionsEnded) {
          o.stdin = true;
        } else {
          o.input = path(arg, "input");
        }
        continue;
      }
      if (arg.equals("--")) {
        optionsEnded = true;
        continue;
      }
      String name = arg;
      String value = null;
      int eq = arg.indexOf('=');
      if (arg.startsWith("--") && eq > 0) {
        name = arg.substring(0, eq);
        value = arg.substring(eq + 1);
      }
      if (SWITCHES.contains(name)) {
        if (value != null) throw ToolException.usage(name + " takes no value");
        switch (name) {
          case "-h", "--help" -> o.help = true;
          case "--version" -> o.version = true;
          case "-q", "--quiet" -> o.quiet = true;
          default -> o.mono = true;
        }
        continue;
      }
      if (!VALUED.contains(name)) throw ToolException.usage("unknown option " + name + " (see --help)");
      if (value == null) {
        if (i + 1 >= args.length) throw ToolException.usage(name + " needs a value (see --help)");
        value = args[++i];
      }
      o.set(name, value);
    }
    o.checkCombinations();
    return o;
  }

  private void set(String name, String value) throws ToolException {
    switch (name) {
      case "-s", "--speed" -> speed = parseSpeed(value);
      case "-o", "--output" -> {
        stdout = value.equals(STANDARD);
        output = stdout ? null : path(value, name);
      }
      case "--format" -> {
        format = OutputFormat.named(value.trim());
        if (format == null) {
          throw ToolException.usage("--format " + value + ": no writer for it; use one of " + formatNames());
        }
      }
      case "--bits" -> {
        bits = (int) number(name, value, 16, 24, true);
        if (bits != 16 && bits != 24) throw ToolException.usage("--bits " + value + ": use 16 or 24");
        bitsGiven = true;
      }
      case "--start" -> startSeconds = time(name, value);
      case "--end" -> endSeconds = time(name, value);
      case "--loop" -> loops = (int) number(name, value, 1, MAX_LOOPS, true);
      case "--spectrum" -> spectrum = path(value, name);
      case "--frame-size" -> {
        frameSize = (int) number(name, value, MIN_FRAME, EngineFacts.MAX_FRAME_SIZE, true);
        if (Integer.bitCount(frameSize) != 1) {
          throw ToolException.usage(
              "--frame-size " + value + " must be a power of two: 256, 512, 1024, 2048 or 4096");
        }
      }
      case "--oversampling" -> {
        // Powers of two keep the hop a power of two, so the engine's float ratio of frame counts
        // gives back exactly the output hop asked for (other hops would shift the speed).
        overSampling = (int) number(name, value, 2, 32, true);
        if (Integer.bitCount(overSampling) != 1) {
          throw ToolException.usage("--oversampling " + value + " must be a power of two: 2, 4, 8, 16 or 32");
        }
      }
      case "--preamp" -> preampDb = number(name, stripDb(value), -24, 24, false);
      case "--headroom" -> {
        switch (value.trim().toLowerCase(Locale.ROOT)) {
          case "auto" -> headroom = Headroom.AUTO;
          case "fit" -> headroom = Headroom.FIT;
          default -> throw ToolException.usage("--headroom " + value + ": use auto or fit");
        }
      }
      case "--balance" -> {
        balance = (int) number(name, value, -100, 100, true);
        balanceGiven = true;
      }
      case "--remove-voice" -> voiceAmount = number(name, value, 0, 2, false);
      case "--voice-band" -> {
        String[] edges = value.split("-|:|\\.\\.");
        if (edges.length != 2) {
          throw ToolException.usage("--voice-band " + value + ": give LOW-HIGH in Hz, e.g. 150-6000");
        }
        voiceLowHz = number(name, edges[0].trim(), 20, 20000, false);
        voiceHighHz = number(name, edges[1].trim(), 20, 20000, false);
        if (voiceHighHz < voiceLowHz) {
          throw ToolException.usage("--voice-band " + value + " is the wrong way round: give the lower edge"
              + " first, " + plain(voiceHighHz) + "-" + plain(voiceLowHz));
        }
        if (voiceHighHz < 2 * voiceLowHz) {
          throw ToolException.usage("--voice-band " + value + " must span an octave or more");
        }
        voiceBandGiven = true;
      }
      case "--eq" -> eq = EqOption.parse(value);
      case "--stereo" -> {
        switch (value.trim().toLowerCase(Locale.ROOT)) {
          case "linked" -> stereoLink = true;
          case "independent" -> stereoLink = false;
          default -> throw ToolException.usage("--stereo " + value + ": use linked or independent");
        }
        stereoGiven = true;
      }
      default -> throw new IllegalStateException("no case for " + name);
    }
  }

  /** Refuses options that contradict each other, whatever their order. */
  private void checkCombinations() throws ToolException {
    if (mono && balanceGiven) {
      throw ToolException.usage("--mono and --balance cannot be combined: choose one");
    }
    if (endSeconds >= 0 && endSeconds <= startSeconds) {
      throw ToolException.usage("--end " + clock(endSeconds) + " must come after --start " + clock(startSeconds));
    }
    if (stdin && output == null && !stdout) {
      throw ToolException.usage(
          "with standard input, say where the output goes: -o FILE, or -o - for standard output");
    }
    if (headroom == Headroom.FIT && (stdin || stdout)) {
      throw ToolException.usage("--headroom fit may run twice, so it needs files, not standard input or output");
    }
  }

  static double parseSpeed(String value) throws ToolException {
    String v = value.trim();
    boolean percent = v.endsWith("%");
    if (percent) v = v.substring(0, v.length() - 1);
    if (v.endsWith("x") || v.endsWith("X")) v = v.substring(0, v.length() - 1);
    double s;
    try {
      s = decimal(v) / (percent ? 100 : 1);
    } catch (NumberFormatException e) {
      throw ToolException.usage("--speed: '" + value + "' is not a number");
    }
    if (!(s >= MIN_SPEED && s <= MAX_SPEED)) {
      throw ToolException.usage(
          "--speed " + value + " is out of range: use 0.25 (four times slower) to 4 (four times faster)");
    }
    return s;
  }

  private static final Pattern DECIMAL = Pattern.compile("[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?");

  /**
   * A number as a person writes it: digits, a point, an exponent. Unlike Double.parseDouble it
   * refuses "NaN", "Infinity" and hexadecimal, so every spelling of not-a-number is told the same.
   */
  static double decimal(String text) {
    if (!DECIMAL.matcher(text).matches()) throw new NumberFormatException(text);
    return Double.parseDouble(text);
  }

  private static String stripDb(String value) {
    String v = value.trim();
    return v.toLowerCase(Locale.ROOT).endsWith("db") ? v.substring(0, v.length() - 2).trim() : v;
  }

  private static double number(String name, String value, double min, double max, boolean integer)
      throws ToolException {
    double d;
    try {
      d = integer ? Integer.parseInt(value.trim()) : decimal(value.trim());
    } catch (NumberFormatException e) {
      throw ToolException.usage(
          name + ": '" + value + "' is not " + (integer ? "a whole number" : "a number"));
    }
    if (!(d >= min && d <= max)) {
      throw ToolException.usage(
          name + " " + value + " is out of range: use " + plain(min) + " to " + plain(max));
    }
    return d;
  }

  private static final Pattern TIME = Pattern.compile("(?:(\\d+):)?(?:(\\d+):)?(\\d+(?:\\.\\d*)?|\\.\\d+)");

  /**
   * A time in the recording: seconds ("75.5"), m:ss ("1:15.5") or h:mm:ss; after a colon,
   * seconds and minutes stay below 60.
   */
  static double time(String name, String value) throws ToolException {
    var m = TIME.matcher(value.trim());
    String hint = name + ": '" + value + "' is not a time: give seconds (75.5) or minutes and seconds (1:15.5)";
    if (!m.matches()) throw ToolException.usage(hint);
    String first = m.group(1);
    String second = m.group(2);
    double seconds = Double.parseDouble(m.group(3));
    double hours = second != null ? Double.parseDouble(first) : 0;
    double minutes = second != null ? Double.parseDouble(second) : first != null ? Double.parseDouble(first) : 0;
    if (first != null && seconds >= 60) throw ToolException.usage(hint);
    if (second != null && minutes >= 60) throw ToolException.usage(hint);
    return hours * 3600 + minutes * 60 + seconds;
  }

  private static Path path(String value, String what) throws ToolException {
    if (value.isEmpty()) throw ToolException.usage(what + " needs a file name");
    try {
      return Path.of(value);
    } catch (InvalidPathException e) {
      throw ToolException.usage(what + ": '" + value + "' is not a valid path");
    }
  }

  private static String plain(double d) {
    return d == Math.rint(d) ? Long.toString((long) d) : Double.toString(d);
  }

  private static String formatNames() {
    return OutputFormat.choices().replace(".", "");
  }

  /**
   * Chooses the oversampling for the speed unless one was given, and checks that the frame
   * geometry can play the speed, before any file is read or made; says which option to change
   * when it cannot.
   */
  void checkGeometry() throws ToolException {
    if (overSampling == 0) {
      try {
        overSampling = StretchPlan.overSamplingFor(frameSize, speed);
        return;
      } catch (IllegalArgumentException e) {
        throw ToolException.usage(e.getMessage() + ": try another --frame-size");
      }
    }
    int stepIn = frameSize / overSampling;
    if (stepIn < 1) {
      throw ToolException.usage(
          "--oversampling " + overSampling + " leaves no hop in a frame of " + frameSize);
    }
    int stepOut;
    try {
      stepOut = StretchPlan.chooseHops(stepIn, speed)[0];
    } catch (IllegalArgumentException e) {
      throw ToolException.usage(e.getMessage() + ": try another --oversampling");
    }
    if (!StretchPlan.overlapsEnough(frameSize, stepOut)) {
      // Suggest the next power of two at or above 2 / speed (the overlap rule solved for it).
      int needed = Integer.highestOneBit(Math.max(1, (int) Math.ceil(2.0 / speed) - 1)) * 2;
      throw ToolException.usage(String.format(
          "speed %s needs an output hop of %d samples, more than half the frame of %d:"
              + " use --oversampling %d or more",
          formatSpeed(speed), stepOut, frameSize, needed > overSampling ? needed : 2 * overSampling));
    }
  }

  /**
   * The output's format: --format, else the output name's extension, else the input's when a
   * writer serves it, else WAV (and WAV on standard output). A name whose extension no writer
   * serves is refused rather than given a format it does not say.
   */
  OutputFormat outputFormat() throws ToolException {
    if (stdout) return format != null ? format : OutputFormat.WAV;
    if (output != null) {
      String name = output.getFileName() == null ? "" : output.getFileName().toString();
      OutputFormat named = OutputFormat.forFileName(name);
      if (format != null) {
        if (named != null && named != format) {
          throw ToolException.usage(
              "-o " + output + " names " + named.label + " but --format asks for " + format.label);
        }
        return format;
      }
      if (named == null) {
        int dot = name.lastIndexOf('.');
        String what =
            dot > 0 ? "no writer serves ." + name.substring(dot + 1) + " files" : "the name has no extension";
        throw ToolException.usage("-o " + output + ": " + what + "; end it in " + OutputFormat.choices()
            + ", or give --format");
      }
      return named;
    }
    if (format != null) return format;
    OutputFormat same = input == null ? null : OutputFormat.forFileName(input.getFileName().toString());
    return same != null ? same : OutputFormat.WAV;
  }

  /** The voice-removal filter for this input, or null when voice removal is off or the input mono. */
  VoiceFilter voiceFilter(int sampleRate, int channels) throws ToolException {
    if (!(voiceAmount > 0 && channels == 2)) return null;
    try {
      return VoiceFilter.design(voiceLowHz, voiceHighHz, sampleRate);
    } catch (IllegalArgumentException tooNarrow) {
      throw ToolException.usage(tooNarrow.getMessage());
    }
  }

  /** Notes on options that do not apply to this input, or apply otherwise than asked. */
  List<String> notes(int sampleRate, int channels, VoiceFilter voice, OutputFormat outputFormat) {
    List<String> notes = new ArrayList<>();
    if (channels == 1 && (mono || balanceGiven || voiceAmount > 0 || stereoGiven)) {
      notes.add("the input is mono: --mono, --balance, --remove-voice and --stereo do not apply");
    }
    if (voiceBandGiven && voiceAmount == 0) notes.add("--voice-band does nothing without --remove-voice");
    if (voice != null && voice.highHz < voiceHighHz) {
      String format = "the voice band ends at %.0f Hz, clear of the %d Hz limit of %d Hz audio";
      notes.add(String.format(Locale.ROOT, format, voice.highHz, sampleRate / 2, sampleRate));
    }
    if (eq != null) {
      for (String point : eq.pointsFrom(sampleRate / 2.0)) {
        notes.add(String.format(Locale.ROOT,
            "--eq %s lies beyond the %d Hz limit of %d Hz audio: only its slope below %d Hz is heard", point,
            sampleRate / 2, sampleRate, sampleRate / 2));
      }
    }
    if (bitsGiven && !outputFormat.lossless) {
      notes.add("--bits applies to WAV, FLAC and AIFF; " + outputFormat.label + " keeps its own precision");
    }
    return notes;
  }

  /** The mix these options ask for, with the voice-removal filter designed for the input, at {@code preamp} dB. */
  Mix mix(VoiceFilter voice, double preamp) {
    return new Mix(preamp, mono, balance, voice, voiceAmount, eq, stereoLink);
  }

  /** Whether a passage rather than the whole recording is asked for, or loops. */
  boolean passage() { return startSeconds > 0 || endSeconds >= 0 || loops > 1; }

  /** 0.75 as "0.75", 0.5 as "0.5", 1 as "1". */
  static String formatSpeed(double speed) {
    String s = String.format(Locale.ROOT, "%.4f", speed).replaceAll("0+$", "");
    return s.endsWith(".") ? s.substring(0, s.length() - 1) : s;
  }

  /** 75.5 seconds as "1:15.5". */
  static String clock(double seconds) {
    return String.format(Locale.ROOT, "%d:%04.1f", (long) (seconds / 60), seconds % 60);
  }

  /** The default output beside the input: song.wav at 0.75 gives song-0.75x.wav. */
  Path defaultOutput(OutputFormat format) {
    String name = input.getFileName().toString();
    int dot = name.lastIndexOf('.');
    String stem = dot > 0 ? name.substring(0, dot) : name;
    return input.resolveSibling(stem + "-" + formatSpeed(speed) + "x." + format.extension());
  }
}
