package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.function.Supplier;
import java.util.stream.Stream;
import javax.imageio.ImageIO;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.engine.Engine;
import velmora.chordsmith.engine.NativeEngine;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The tool end to end through the real library, as a user runs it. The engine is process-wide,
 * so these tests must not run concurrently (JUnit runs them one after another).
 */
class ToolTest {
  static final int RATE = 44100;

  @TempDir Path dir;

  record Outcome(int code, String out, String err) {}

  static Outcome run(Supplier<Engine> engines, String... args) {
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    ByteArrayOutputStream err = new ByteArrayOutputStream();
    int code = Main.run(args, new PrintStream(out, true, StandardCharsets.UTF_8),
        new PrintStream(err, true, StandardCharsets.UTF_8), engines);
    String errText = err.toString(StandardCharsets.UTF_8);
    boolean trace = errText.contains("\tat ") || errText.contains("Exception");
    assertFalse(trace, "no stack trace for the user: " + errText);
    return new Outcome(code, out.toString(StandardCharsets.UTF_8), errText);
  }

  static Outcome run(String... args) { return run(NativeEngine::new, args); }

  /** A sine of {@code seconds} after {@code delay} s of silence, with a gain per channel in {@code pan}. */
  static Audio tone(double hz, double amplitude, double delay, double seconds, double... pan) {
    int channels = pan.length;
    int frames = (int) Math.round((delay + seconds) * RATE);
    short[] samples = new short[frames * channels];
    int start = (int) Math.round(delay * RATE);
    for (int i = start; i < frames; i++) {
      double s = amplitude * 32767 * Math.sin(2 * Math.PI * hz * (i - start) / RATE);
      for (int c = 0; c < channels; c++) samples[i * channels + c] = (short) Math.round(pan[c] * s);
    }
    return new Audio(samples, channels, RATE);
  }

  Path save(String name, Audio audio) throws Exception {
    Path path = dir.resolve(name);
    try (OutputStream out = Files.newOutputStream(path)) {
      audio.writeWav(out);
    }
    return path;
  }

  /** Runs the tool on {@code input} with {@code options} and reads the result back. */
  Audio stretch(Audio input, String... options) throws Exception {
    Path in = save("in.wav", input);
    Path out = dir.resolve("out.wav");
    String[] args = Stream.concat(Stream.of(in.toString(), "-o", out.toString(), "-q"), Stream.of(options))
        .toArray(String[]::new);
    Outcome r = run(args);
    assertEquals(0, r.code, r.err);
    return Audio.read(out);
  }

  static double rms(Audio a, int channel, long from, long to) {
    double sum = 0;
    for (long i = from; i < to; i++) {
      double s = a.samples[(int) (i * a.channels + channel)];
      sum += s * s;
    }
    return Math.sqrt(sum / (to - from));
  }

  /** The middle half of a channel's RMS, away from the ends. */
  static double middleRms(Audio a, int channel) { return rms(a, channel, a.frames / 4, 3 * a.frames / 4); }

  @Test
  void theOutputLastsTheInputDividedByTheSpeedForEverySpeed() throws Exception {
    Audio input = tone(440, 0.3, 0, 1.5, 1.0);
    for (double speed : new double[] {0.25, 0.3, 0.5, 0.75, 1.0, 1.25, 2.0, 4.0}) {
      Audio out = stretch(input, "--speed", Double.toString(speed));
      // Below half speed, frames overlap eight times: input hops of 256.
      int stepIn = speed < 0.5 ? 256 : 512;
      long stepOut = Math.round(stepIn / speed);
      assertEquals(Math.round(input.frames * stepOut / (double) stepIn), out.frames, "speed " + speed);
      assertTrue(Math.abs(out.frames - input.frames / speed) <= stepOut, "within one hop at speed " + speed);
      assertEquals(1, out.channels);
      assertEquals(RATE, out.sampleRate);
    }
  }

  /** The strongest frequency of a stretch from the middle of the output, to the nearest bin of 8192. */
  static double dominantHz(Audio a, int channel) {
    int n = 8192;
    double[] re = new double[n];
    double[] im = new double[n];
    long from = a.frames / 2 - n / 2;
    for (int i = 0; i < n; i++) {
      double window = 0.5 - 0.5 * Math.cos(2 * Math.PI * i / n);
      re[i] = window * a.samples[(int) ((from + i) * a.channels + channel)];
    }
    fft(re, im);
    int best = 1;
    for (int k = 1; k < n / 2; k++) {
      if (Math.hypot(re[k], im[k]) > Math.hypot(re[best], im[best])) best = k;
    }
    return (double) best * a.sampleRate / n;
  }

  static void fft(double[] re, double[] im) {
    int n = re.length;
    for (int i = 1, j = 0; i < n; i++) {
      int bit = n >> 1;
      for (; (j & bit) != 0; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) {
        double t = re[i];
        re[i] = re[j];
        re[j] = t;
        t = im[i];
        im[i] = im[j];
        im[j] = t;
      }
    }
    for (int len = 2; len <= n; len <<= 1) {
      double angle = -2 * Math.PI / len;
      for (int i = 0; i < n; i += len) {
        for (int k = 0; k < len / 2; k++) {
          double wr = Math.cos(angle * k);
          double wi = Math.sin(angle * k);
          int a = i + k;
          int b = a + len / 2;
          double xr = re[b] * wr - im[b] * wi;
          double xi = re[b] * wi + im[b] * wr;
          re[b] = re[a] - xr;
          im[b] = im[a] - xi;
          re[a] += xr;
          im[a] += xi;
        }
      }
    }
  }

  @Test
  void aStretchedSineKeepsItsPitchAndLevel() throws Exception {
    double hz = 523.25;
    Audio input = tone(hz, 0.4, 0, 2, 1.0, 1.0);
    double bin = (double) RATE / 8192;
    for (String speed : new String[] {"0.5", "1.5"}) {
      Audio out = stretch(input, "--speed", speed);
      for (int c = 0; c < 2; c++) {
        assertEquals(hz, dominantHz(out, c), bin, "speed " + speed);
        double ratioDb = 20 * Math.log10(middleRms(out, c) / middleRms(input, c));
        assertEquals(0, ratioDb, 0.5, "level at speed " + speed);
      }
    }
  }

  @Test
  void anOnsetLandsAtItsTimeDividedByTheSpeed() throws Exception {
    Audio out = stretch(tone(440, 0.5, 1.0, 1.0, 1.0), "--speed", "0.5");
    double steady = middleRms(tone(440, 0.5, 0, 1, 1.0), 0);
    // First 256-frame window whose RMS reaches half the tone's: the onset, smeared by a frame.
    long onset = -1;
    for (long i = 0; i + 256 <= out.frames; i += 64) {
      if (rms(out, 0, i, i + 256) >= steady / 2) {
        onset = i + 128;
        break;
      }
    }
    assertEquals(2.0 * RATE, onset, 1024, "onset at 2 s, within one output hop");
  }

  @Test
  void voiceRemovalTakesOutACentredToneAndKeepsOneOnTheSide() throws Exception {
    Audio centre = tone(1000, 0.3, 0, 1.5, 1.0, 1.0);
    Audio centreKept = stretch(centre, "--speed", "1");
    Audio centreRemoved = stretch(centre, "--speed", "1", "--remove-voice", "1");
    for (int c = 0; c < 2; c++) {
      double db = 20 * Math.log10(middleRms(centreRemoved, c) / middleRms(centreKept, c));
      assertTrue(db < -15, "centre tone lowered by only " + db + " dB");
    }
    Audio side = tone(1000, 0.3, 0, 1.5, 1.0, 0.0);
    Audio sideKept = stretch(side, "--speed", "1");
    Audio sideRemoved = stretch(side, "--speed", "1", "--remove-voice", "1");
    double db = 20 * Math.log10(middleRms(sideRemoved, 0) / middleRms(sideKept, 0));
    assertEquals(0, db, 1.0, "the side tone survives on its side");
  }

  @Test
  void mixSettingsReachTheEngineAndDoNotOutliveTheirRun() throws Exception {
    Audio input = tone(1000, 0.3, 0, 1.5, 1.0, 1.0);
    double plain = middleRms(stretch(input, "--speed", "1"), 0);
    double quieter = middleRms(stretch(input, "--speed", "1", "--preamp", "-6"), 0);
    assertEquals(-6, 20 * Math.log10(quieter / plain), 0.3);
    double cut = middleRms(stretch(input, "--speed", "1", "--eq", "mid=-20"), 0);
    assertEquals(-20, 20 * Math.log10(cut / plain), 1.5);
    Audio left = stretch(tone(1000, 0.3, 0, 1.5, 1.0, 0.0), "--speed", "1", "--balance", "100");
    assertEquals(0, middleRms(left, 0), 1.0);  // the right (silent) input on both sides
    // The engine keeps its settings between runs; the next run must not inherit them.
    assertEquals(plain, middleRms(stretch(input, "--speed", "1"), 0), 1e-9);
  }

  @Test
  void badInputGetsAMessageAndAnExitCodeAndWritesNothing() throws Exception {
    Path good = save("good.wav", tone(440, 0.3, 0, 0.5, 1.0));
    Outcome missing = run(dir.resolve("missing.wav").toString());
    assertEquals(1, missing.code);
    assertTrue(missing.err.contains("no such file"), missing.err);

    Path text = Files.writeString(dir.resolve("text.wav"), "not audio at all, only words");
    Outcome unreadable = run(text.toString());
    assertEquals(1, unreadable.code);
    assertTrue(unreadable.err.contains("not in an audio format"), unreadable.err);

    Outcome fast = run(good.toString(), "--speed", "9");
    assertEquals(2, fast.code);
    assertTrue(fast.err.contains("out of range") && fast.err.contains("--help"), fast.err);

    Outcome nowhere = run(good.toString(), "-o", dir.resolve("no/such/folder/out.wav").toString());
    assertEquals(1, nowhere.code);
    assertTrue(nowhere.err.contains("does not exist"), nowhere.err);

    Outcome itself = run(good.toString(), "-o", good.toString());
    assertEquals(2, itself.code);

    Outcome exampleAsFile = run("-o", dir.resolve("example.wav").toString());
    assertEquals(2, exampleAsFile.code);
    assertFalse(Files.exists(dir.resolve("example.wav")));

    // A run that fails leaves an earlier output as it was, and no temporary file behind.
    Path earlier = Files.write(dir.resolve("earlier.wav"), new byte[] {1, 2, 3});
    String lostPicture = dir.resolve("gone/x.png").toString();
    Outcome noPicture = run(good.toString(), "-o", earlier.toString(), "--spectrum", lostPicture);
    assertEquals(1, noPicture.code);
    assertEquals(3, Files.size(earlier));
    try (Stream<Path> files = Files.list(dir)) {
      assertEquals(0, files.filter(p -> p.getFileName().toString().endsWith(".part")).count());
    }
  }

  @Test
  void aMissingLibraryIsExplainedNotThrown() {
    Outcome r = run(() -> {
      throw new UnsatisfiedLinkError("no chordsmith in java.library.path");
    }, "-o", dir.resolve("example").toString(), "-q");
    assertEquals(1, r.code);
    assertTrue(r.err.contains("-Djava.library.path"), r.err);
  }

  @Test
  void helpExplainsTheOptions() {
    Outcome r = run("--help");
    assertEquals(0, r.code);
    for (String option : new String[] {"--speed", "--output", "--spectrum", "--frame-size", "--oversampling",
        "--preamp", "--balance", "--mono", "--remove-voice", "--stereo", "--eq"}) {
      assertTrue(r.out.contains(option), option);
    }
  }

  @Test
  void theDefaultRunMakesTheExampleAndSaysWhereItIs() throws Exception {
    Path folder = dir.resolve("example");
    Outcome r = run("-o", folder.toString(), "-q");
    assertEquals(0, r.code, r.err);
    Path original = folder.resolve("example-original.wav");
    Path slowed = folder.resolve("example-0.75x.wav");
    Path picture = folder.resolve("example-spectrum.png");
    for (Path p : new Path[] {original, slowed, picture}) {
      assertTrue(r.out.contains(p.toString()), p + " in " + r.out);
    }

    Audio song = Audio.read(original);
    assertEquals(2, song.channels);
    assertEquals(ExampleSong.make().frames, song.frames);
    assertEquals(Math.round(song.frames * 683 / 512.0), Audio.read(slowed).frames);
    BufferedImage image = ImageIO.read(picture.toFile());
    assertEquals(SpectrumPicture.TOP + EngineFacts.BANDS * SpectrumPicture.ROW + SpectrumPicture.BOTTOM,
        image.getHeight());
    try (Stream<Path> files = Files.list(folder)) {
      assertEquals(3, files.count(), "exactly the three files, no temporaries");
    }
    // The channels are stretched together by default, and the summary shows the image kept.
    var stereo = java.util.regex.Pattern
        .compile("Stereo: +linked; left/right correlation ([-.0-9]+) in, ([-.0-9]+) out").matcher(r.out);
    assertTrue(stereo.find(), r.out);
    assertEquals(Double.parseDouble(stereo.group(1)), Double.parseDouble(stereo.group(2)), 0.05, r.out);
    // The voice sings the melody in the fourth and fifth octaves; it should be heard there.
    assertTrue(r.out.matches("(?s).*strongest [A-G]#?[45] .*"), r.out);
  }
}
