package velmora.chordsmith.tool;

import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.EqCurve;
import velmora.chordsmith.VoiceFilter;
import velmora.chordsmith.engine.Mix;
import velmora.chordsmith.engine.StretchPlan;

/** The command line, parsed and range-checked. Every option takes "--name value" or "--name=value". */
final class Options {
  static final double MIN_SPEED = 0.25;
  static final double MAX_SPEED = 4.0;
  static final double DEFAULT_SPEED = 0.75;
  static final int MIN_FRAME = 256;
  static final Path DEFAULT_EXAMPLE_FOLDER = Path.of("chordsmith-example");

  static final String USAGE = String.join("\n",
      "Usage: chordsmith [options] [INPUT]",
      "",
      "Changes the speed of a recording without changing its pitch. INPUT is a WAV file (or",
      "AIFF or AU), mono or stereo; the result is a 16-bit WAV at the input's sample rate. With",
      "no INPUT, makes an example song and writes the original, the slowed version and a",
      "spectrum picture into a folder. chordsmith play [FILE] opens the practice player.",
      "",
      "Options:",
      "  -s, --speed X          playback speed, 0.25 to 4 (or a percentage, 75%); default 0.75",
      "  -o, --output PATH      the output WAV (default: INPUT-0.75x.wav beside INPUT); with no",
      "                         INPUT, the example's folder (default ./chordsmith-example)",
      "      --spectrum PNG     draw the output's spectrum, notes C1 to B6 over time, as a PNG",
      "      --frame-size N     analysis frame, 256 to 4096, a power of two; default 2048",
      "      --oversampling N   frames overlapping each frame length: 2, 4, 8, 16 or 32;",
      "                         default 4, or what a slower speed needs (8 below 0.5)",
      "      --preamp DB        output gain in dB, -24 to +24; default 0",
      "      --balance B        stereo: -100 plays the left channel on both sides, 100 the",
      "                         right, values between move one side toward the other; default 0",
      "      --mono             stereo: both sides carry the average of the two",
      "      --remove-voice A   stereo: subtract what the channels share in the vocal band,",
      "                         amount 0 to 2 (1 cancels a centred voice); default off",
      "      --voice-band LO-HI the vocal band in Hz for --remove-voice; default 150-6000",
      "      --eq BANDS         equaliser, e.g. bass=+4,mid=-3,2.5k=-6: dB from -30 to +12 at",
      "                         sub (40 Hz), bass (100), low-mid (300), mid (1k), high-mid (3k),",
      "                         treble (8k) or any frequency; the curve runs smoothly between",
      "  -q, --quiet            no progress bar",
      "  -h, --help             show this help",
      "      --version          show the version",
      "",
      "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a bad command",
      "line. Files are written completely or not at all.");

  Path input;
  Path output;
  Path spectrum;
  double speed = DEFAULT_SPEED;
  int frameSize = 2048;
  /** 0 until set: chosen for the speed by {@link #checkGeometry}. */
  int overSampling = 0;
  double preampDb = 0;
  int balance = 0;
  boolean balanceGiven;
  boolean mono;
  double voiceAmount = 0;
  double voiceLowHz = VoiceFilter.DEFAULT_LOW_HZ;
  double voiceHighHz = VoiceFilter.DEFAULT_HIGH_HZ;
  boolean voiceBandGiven;
  EqCurve eq;
  boolean quiet;
  boolean help;
  boolean version;

  static Options parse(String[] args) throws ToolException {
    Options o = new Options();
    boolean optionsEnded = false;
    for (int i = 0; i < args.length; i++) {
      String arg = args[i];
      if (optionsEnded || !arg.startsWith("-") || arg.equals("-")) {
        if (o.input != null) {
          throw ToolException.usage("one input file at a time: got " + o.input + " and " + arg);
        }
        o.input = path(arg, "input");
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
      switch (name) {
        case "-h", "--help" -> o.help = true;
        case "--version" -> o.version = true;
        case "-q", "--quiet" -> o.quiet = true;
        case "--mono" -> o.mono = true;
        default -> {
          if (value == null) {
            if (i + 1 >= args.length) throw ToolException.usage(name + " needs a value (see --help)");
            value = args[++i];
          }
          o.set(name, value);
        }
      }
      if (value != null && isFlag(name)) throw ToolException.usage(name + " takes no value");
    }
    if (o.mono && o.balanceGiven) {
      throw ToolException.usage("--mono and --balance cannot be combined: choose one");
    }
    return o;
  }

  private static boolean isFlag(String name) {
    return switch (name) {
      case "-h", "--help", "--version", "-q", "--quiet", "--mono" -> true;
      default -> false;
    };
  }

  private void set(String name, String value) throws ToolException {
    switch (name) {
      case "-s", "--speed" -> speed = parseSpeed(value);
      case "-o", "--output" -> output = path(value, name);
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
        if (voiceHighHz < 2 * voiceLowHz) {
          throw ToolException.usage("--voice-band " + value + " must span an octave or more");
        }
        voiceBandGiven = true;
      }
      case "--eq" -> eq = EqOption.parse(value);
      default -> throw ToolException.usage("unknown option " + name + " (see --help)");
    }
  }

  static double parseSpeed(String value) throws ToolException {
    String v = value.trim();
    boolean percent = v.endsWith("%");
    if (percent) v = v.substring(0, v.length() - 1);
    if (v.endsWith("x") || v.endsWith("X")) v = v.substring(0, v.length() - 1);
    double s;
    try {
      s = Double.parseDouble(v) / (percent ? 100 : 1);
    } catch (NumberFormatException e) {
      throw ToolException.usage("--speed: '" + value + "' is not a number");
    }
    if (!(s >= MIN_SPEED && s <= MAX_SPEED)) {
      throw ToolException.usage(
          "--speed " + value + " is out of range: use 0.25 (four times slower) to 4 (four times faster)");
    }
    return s;
  }

  private static String stripDb(String value) {
    String v = value.trim();
    return v.toLowerCase(Locale.ROOT).endsWith("db") ? v.substring(0, v.length() - 2).trim() : v;
  }

  private static double number(String name, String value, double min, double max, boolean integer)
      throws ToolException {
    double d;
    try {
      d = integer ? Integer.parseInt(value.trim()) : Double.parseDouble(value.trim());
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
  List<String> notes(int sampleRate, int channels, VoiceFilter voice) {
    List<String> notes = new ArrayList<>();
    if (channels == 1 && (mono || balanceGiven || voiceAmount > 0)) {
      notes.add("the input is mono: --mono, --balance and --remove-voice do not apply");
    }
    if (voiceBandGiven && voiceAmount == 0) notes.add("--voice-band does nothing without --remove-voice");
    if (voice != null && voice.highHz < voiceHighHz) {
      String format = "the voice band ends at %.0f Hz, clear of the %d Hz limit of %d Hz audio";
      notes.add(String.format(Locale.ROOT, format, voice.highHz, sampleRate / 2, sampleRate));
    }
    return notes;
  }

  /** The mix these options ask for, with the voice-removal filter designed for the input. */
  Mix mix(VoiceFilter voice) { return new Mix(preampDb, mono, balance, voice, voiceAmount, eq); }

  /** 0.75 as "0.75", 0.5 as "0.5", 1 as "1". */
  static String formatSpeed(double speed) {
    String s = String.format(Locale.ROOT, "%.4f", speed).replaceAll("0+$", "");
    return s.endsWith(".") ? s.substring(0, s.length() - 1) : s;
  }

  /** The default output beside the input: song.wav at 0.75 gives song-0.75x.wav. */
  Path defaultOutput() {
    String name = input.getFileName().toString();
    int dot = name.lastIndexOf('.');
    String stem = dot > 0 ? name.substring(0, dot) : name;
    return input.resolveSibling(stem + "-" + formatSpeed(speed) + "x.wav");
  }
}
