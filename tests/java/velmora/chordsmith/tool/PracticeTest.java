package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static velmora.chordsmith.tool.ToolTest.RATE;
import static velmora.chordsmith.tool.ToolTest.rms;
import static velmora.chordsmith.tool.ToolTest.tone;

import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import velmora.chordsmith.audio.Audio;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Practising a passage: cut from a recording, looped, and kept below full scale. */
class PracticeTest {
  @TempDir Path dir;

  ToolTest.Outcome stretch(Audio input, String... options) throws Exception {
    Path in = dir.resolve("in.wav");
    try (OutputStream out = Files.newOutputStream(in)) {
      input.writeWav(out);
    }
    String[] args = Stream.concat(Stream.of(in.toString(), "-o", dir.resolve("out.wav").toString(), "-q"),
        Stream.of(options)).toArray(String[]::new);
    ToolTest.Outcome r = ToolTest.run(args);
    assertEquals(0, r.code(), r.err());
    return r;
  }

  Audio output() throws Exception { return Audio.read(dir.resolve("out.wav")); }

  /** The largest step between neighbouring samples of channel 0 in frames [from, to). */
  static int largestStep(Audio a, long from, long to) {
    int most = 0;
    for (long i = Math.max(1, from); i < Math.min(to, a.frames); i++) {
      most = Math.max(most, Math.abs(a.samples[(int) i * a.channels] - a.samples[(int) (i - 1) * a.channels]));
    }
    return most;
  }

  @Test
  void aPassageStartsAtFullLevelAndLastsItsLengthOverTheSpeed() throws Exception {
    Audio input = tone(440, 0.5, 0, 4, 1.0);
    ToolTest.Outcome r = stretch(input, "--start", "1", "--end", "0:02.5", "--speed", "0.5");
    Audio out = output();
    // 1.5 s of input at half speed, hops of 512 in and 1024 out.
    assertEquals(Math.round(1.5 * RATE) * 2, out.frames);
    double steady = rms(out, 0, out.frames / 4, out.frames / 2);
    // Primed on what precedes the start, the first ten milliseconds are already at full level.
    assertEquals(0, 20 * Math.log10(rms(out, 0, 0, RATE / 100) / steady), 1.0);
    assertTrue(r.out().contains("Passage:  0:01.0 to 0:02.5 (1.50 s)"), r.out());
  }

  @Test
  void loopsRepeatThePassageAndJoinWithoutAClick() throws Exception {
    // 0.37 s of a 440 Hz tone is not a whole number of periods: joined as they are, the loops
    // would jump.
    Audio input = tone(440, 0.5, 0, 3, 1.0);
    stretch(input, "--start", "1", "--end", "1.37", "--loop", "3", "--speed", "1");
    Audio out = output();
    long passage = Math.round(0.37 * RATE);
    assertEquals(3 * passage, out.frames);
    int steady = largestStep(out, passage / 4, passage / 2);
    for (int join = 1; join <= 2; join++) {
      long at = join * passage;
      int step = largestStep(out, at - 2000, at + 2000);
      assertTrue(step < 1.2 * steady, "join " + join + ": a step of " + step + " where the tone has " + steady);
    }
  }

  private static final Pattern ADVICE = Pattern.compile("--preamp ([+-][0-9.]+) keeps the peak at -1 dBFS");

  static double peakDb(Audio a) {
    int most = 0;
    for (short s : a.samples) most = Math.max(most, Math.abs(s));
    return 20 * Math.log10(most / 32767.0);
  }

  @Test
  void whenTheLimiterHadToActThePreampAdvisedPutsThePeakAtMinusOneDb() throws Exception {
    Audio loud = tone(440, 0.9, 0, 2, 1.0, 0.8);
    ToolTest.Outcome first = stretch(loud, "--speed", "0.5", "--preamp", "+6");
    Matcher advice = ADVICE.matcher(first.out());
    assertTrue(first.out().contains("above full scale") && advice.find(), first.out());
    // The advice counts the preamp already given: the right preamp is the same from any start.
    Matcher plain = ADVICE.matcher(stretch(loud, "--speed", "0.5").out());
    assertTrue(plain.find());
    assertEquals(Double.parseDouble(plain.group(1)), Double.parseDouble(advice.group(1)), 0.1);

    ToolTest.Outcome again = stretch(loud, "--speed", "0.5", "--preamp", advice.group(1));
    assertTrue(again.out().matches("(?s).*Peak: {5}-1\\.[01] dBFS\\R.*"), again.out());
    assertEquals(-1.05, peakDb(output()), 0.1);

    // --headroom fit runs again by itself.
    ToolTest.Outcome fit = stretch(loud, "--speed", "0.5", "--preamp", "+6", "--headroom", "fit");
    assertTrue(fit.out().contains("--headroom fit ran again at " + advice.group(1) + " dB"), fit.out());
    assertEquals(-1.05, peakDb(output()), 0.1);
  }
}
