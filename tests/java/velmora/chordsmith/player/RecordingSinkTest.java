package velmora.chordsmith.player;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.engine.NativeEngine;
import org.junit.jupiter.api.Test;

/**
 * The player through the real engine into a sink that records what would have been heard,
 * stepped block by block on the test's thread so that every request lands on a known block.
 */
class RecordingSinkTest {
  /** Keeps everything written; a device with no buffer, so what is written is heard at once. */
  static final class RecordingSink implements Sink {
    final int channels;
    short[] samples = new short[1 << 16];
    int frames;

    RecordingSink(int channels) { this.channels = channels; }

    @Override public void write(short[] block, int count) {
      if ((frames + count) * channels > samples.length) {
        samples = Arrays.copyOf(samples, 2 * samples.length + count * channels);
      }
      System.arraycopy(block, 0, samples, frames * channels, count * channels);
      frames += count;
    }

    @Override public long played() { return frames; }
    @Override public int bufferFrames() { return 0; }
    @Override public String describe() { return "recording"; }
    @Override public boolean audible() { return false; }
    @Override public void close() {}

    /** Left channel level in dB over {@code count} frames from {@code from}. */
    double levelDb(int from, int count) {
      double sum = 0;
      for (int i = from; i < from + count; i++) sum += Math.pow(samples[i * channels] / 32768.0, 2);
      return 10 * Math.log10(sum / count + 1e-20);
    }

    /** The largest second difference of the left channel in [from, to): a click shows as a spike. */
    double roughness(int from, int to) {
      double most = 0;
      for (int i = Math.max(1, from); i < to - 1; i++) {
        int c = channels;
        most = Math.max(most, Math.abs(samples[(i + 1) * c] - 2 * samples[i * c] + samples[(i - 1) * c]));
      }
      return most;
    }
  }

  /** One block as it went: output frames written so far, and what the player reported. */
  record Step(int frames, Status status) {}

  /** Plays {@code song} from the top, running {@code script} after every block until it says stop. */
  static RecordingSink play(Audio song, java.util.function.BiPredicate<Player, RecordingSink> script,
                            List<Step> steps) {
    RecordingSink[] sink = new RecordingSink[1];
    Player player = new Player(new NativeEngine(), (r, channels) -> sink[0] = new RecordingSink(channels));
    player.open(song);
    player.transport().play();
    for (int i = 0; i < 1_000_000; i++) {
      assertTrue(player.stepForTest());
      steps.add(new Step(sink[0].frames, player.status()));
      if (!script.test(player, sink[0])) break;
    }
    player.close();
    return sink[0];
  }

  /** Output frames where the position heard stepped back: the loop's joins, as heard. */
  static List<Integer> joins(List<Step> steps, int rate) {
    List<Integer> joins = new ArrayList<>();
    for (int i = 1; i < steps.size(); i++) {
      if (steps.get(i).status().position() < steps.get(i - 1).status().position() - rate / 10) {
        joins.add(steps.get(i - 1).frames());
      }
    }
    return joins;
  }

  /**
   * Around {@code at}: no 5 ms stretch more than 6 dB softer than the music on either side (a
   * gap) or 4 dB louder (the level jump of a speed change the overlap was not made up for), and
   * no sample-to-sample spike beyond what the music has anyway (a click). Old and new frames
   * meet with unrelated phases at a speed change, so a few dB of dip in single partials is the
   * engine's nature, and within the bounds.
   */
  static void assertSeamless(RecordingSink rec, int at, int rate, String what) {
    int ms = rate / 1000;
    double[] before = new double[20];
    double[] after = new double[20];
    for (int k = 0; k < 20; k++) {
      before[k] = rec.levelDb(at - (150 - 5 * k) * ms, 5 * ms);
      after[k] = rec.levelDb(at + (50 + 5 * k) * ms, 5 * ms);
    }
    Arrays.sort(before);
    Arrays.sort(after);
    double low = Math.min(before[10], after[10]);
    double high = Math.max(before[10], after[10]);
    for (int k = -5; k < 5; k++) {
      double level = rec.levelDb(at + k * 5 * ms, 5 * ms);
      assertTrue(level > low - 6, what + ": a gap of " + (low - level) + " dB at " + k * 5 + " ms");
      assertTrue(level < high + 4, what + ": a jump of " + (level - high) + " dB at " + k * 5 + " ms");
    }
    double near = rec.roughness(at - 25 * ms, at + 25 * ms);
    double around =
        Math.max(rec.roughness(at - 300 * ms, at - 50 * ms), rec.roughness(at + 50 * ms, at + 300 * ms));
    assertTrue(near < 1.5 * around, what + ": a click, " + near + " against " + around + " in the music");
  }

  @Test
  void playsTheExampleThroughASpeedChangeAndALoopWithoutAGapOrAClick() {
    Audio song = ExampleSong.make();
    int rate = song.sampleRate;
    // A and B sit inside held notes, so that a gap could not hide in the music's own pauses.
    long a = Math.round(1.5 * rate);
    long b = Math.round(3.3 * rate);
    double[] changedAt = {-1, -1};  // output frame, position heard
    List<Step> steps = new ArrayList<>();
    RecordingSink rec = play(song, (player, sink) -> {
      Transport t = player.transport();
      Status s = player.status();
      if (changedAt[0] < 0 && s.position() >= 0.85 * rate) {
        changedAt[0] = sink.frames;
        changedAt[1] = s.position();
        t.setSpeed(50);
      }
      if (s.position() >= 1.2 * rate && t.loop().equals(Loop.EMPTY)) t.setLoop(a, b);
      return joins(steps, rate).size() < 3 || sink.frames < joins(steps, rate).get(2) + rate;
    }, steps);

    int stepIn = steps.get(0).status().stepIn();
    int stepOut = Speeds.outputHop(stepIn, 50);
    List<Integer> joins = joins(steps, rate);
    assertEquals(3, joins.size());
    assertEquals(3, steps.get(steps.size() - 1).status().pass(), "the player counts the passes");
    // Lengths: from the change to B at half speed, then each pass B - A at half speed, to a block.
    double toB = (b - changedAt[1]) * stepOut / stepIn;
    assertEquals(toB, joins.get(0) - changedAt[0], 2048, "the stretch from the change to the loop's end");
    double period = (double) (b - a) * stepOut / stepIn;
    assertEquals(period, joins.get(1) - joins.get(0), stepOut, "one pass");
    assertEquals(period, joins.get(2) - joins.get(1), stepOut, "the next pass");

    // The passes repeat the same music: their level envelopes match.
    int window = rate / 100;
    int n = (int) (period / window) - 1;
    double[] x = new double[n];
    double[] y = new double[n];
    for (int k = 0; k < n; k++) {
      x[k] = rec.levelDb(joins.get(0) + k * window, window);
      y[k] = rec.levelDb(joins.get(1) + k * window, window);
    }
    assertTrue(correlation(x, y) > 0.95, "pass 2 repeats pass 1: " + correlation(x, y));

    assertSeamless(rec, (int) changedAt[0], rate, "the speed change");
    for (int join : joins) assertSeamless(rec, join, rate, "the join at " + join);
  }

  @Test
  void switchingTheStereoLinkWhilePlayingLeavesNoGapOrClick() {
    Audio song = ExampleSong.make();
    int rate = song.sampleRate;
    List<Integer> switches = new ArrayList<>();
    RecordingSink rec = play(song, (player, sink) -> {
      double heard = player.status().position();
      if (switches.isEmpty() && heard >= 1.7 * rate) player.transport().setSpeed(75);
      if (switches.size() < 2 && heard >= (2.2 + switches.size()) * rate) {
        switches.add(sink.frames);
        player.setMix(player.mix().withStereoLink(switches.size() == 2));
      }
      return switches.size() < 2 || sink.frames < switches.get(1) + rate;
    }, new ArrayList<>());
    assertSeamless(rec, switches.get(0), rate, "the link switched off");
    assertSeamless(rec, switches.get(1), rate, "the link switched on");
  }

  @Test
  void practiceModePlaysEachPassFasterAndJoinsThemSeamlessly() {
    Audio song = ExampleSong.make();
    int rate = song.sampleRate;
    long a = Math.round(1.5 * rate);
    long b = Math.round(2.7 * rate);
    List<Step> steps = new ArrayList<>();
    RecordingSink rec = play(song, (player, sink) -> {
      Transport t = player.transport();
      if (t.practice() == null) {
        t.setPractice(new Practice(50, 25, 100));
        t.setLoop(a, b);
        t.seek(a);
      }
      List<Integer> joins = joins(steps, rate);
      return joins.size() < 4 || sink.frames < joins.get(3) + rate;
    }, steps);
    List<Integer> joins = joins(steps, rate);
    int stepIn = steps.get(0).status().stepIn();
    // Where the seek to A was heard, then the joins: passes at 50%, 75%, then 100% from there on.
    int start = 0;
    for (Step step : steps) {
      if (step.status().position() >= a) {
        start = step.frames();
        break;
      }
    }
    int[] percents = {50, 75, 100, 100};
    for (int k = 0; k < percents.length; k++) {
      double period = (double) (b - a) * Speeds.outputHop(stepIn, percents[k]) / stepIn;
      int from = k == 0 ? start : joins.get(k - 1);
      assertEquals(period, joins.get(k) - from, 2048, "pass " + k + " at " + percents[k] + "%");
      assertSeamless(rec, joins.get(k), rate, "the join after pass " + k);
    }
  }

  @Test
  void spectrumNamesTheNotePlayedAtItsLevelAtEverySpeed() {
    int rate = 44100;
    short[] tone = new short[2 * 3 * rate];
    for (int i = 0; i < tone.length / 2; i++) {
      double c5 = Math.sin(2 * Math.PI * 523.25 * i / rate);
      tone[2 * i] = tone[2 * i + 1] = (short) Math.round(0.5 * 32767 * c5);
    }
    Audio c5 = new Audio(tone, 2, rate);
    for (int percent : new int[] {55, 90, 150}) {
      float[] bands = new float[72];
      play(c5, (player, sink) -> {
        player.transport().setSpeed(percent);
        if (player.status().position() < 1.5 * rate) return true;
        player.spectrum(bands);
        float scale = player.spectrumScale();
        for (int b = 0; b < bands.length; b++) bands[b] *= scale;
        return false;
      }, new ArrayList<>());
      assertEquals(List.of(48), SpectrumView.strongest(toDb(bands)).subList(0, 1), "C5 at " + percent + "%");
      assertEquals(0.5 * 0.3125, bands[48], 0.5 * 0.3125 * 0.12, "its level at " + percent + "%");
    }
  }

  @Test
  void aSeekWhilePausedStartsOnTheSpotAndPlayAtTheEndStartsFromTheTop() {
    Audio song = ExampleSong.make();
    int rate = song.sampleRate;
    RecordingSink[] sink = new RecordingSink[1];
    Player player = new Player(new NativeEngine(), (r, channels) -> sink[0] = new RecordingSink(channels));
    Transport t = player.transport();
    player.open(song);
    t.play();
    while (player.status().position() < 3 * rate) assertTrue(player.stepForTest());
    t.pause();
    while (player.stepForTest()) {}  // the fade out; then the player rests
    int resumed = sink[0].frames;

    t.seek(rate);
    assertFalse(player.stepForTest(), "a seek while paused plays nothing");
    assertEquals(rate, player.status().position(), 0.5, "it is where it was asked to be at once");
    t.play();
    assertTrue(player.stepForTest());
    assertEquals(rate, player.status().position(), 128, "and play starts there");
    while (sink[0].frames < resumed + rate / 2) assertTrue(player.stepForTest());
    RecordingSink rec = sink[0];
    int ms = rate / 1000;
    double onResume = rec.roughness(resumed, resumed + 25 * ms);
    assertTrue(onResume < 1.5 * rec.roughness(resumed + 50 * ms, resumed + 300 * ms), "no click on resuming");

    t.seek(song.frames - rate / 2);
    while (t.playing()) assertTrue(player.stepForTest());
    assertEquals(song.frames, player.status().position(), 1.0, "it stops at the end");
    t.play();
    assertTrue(player.stepForTest());
    assertEquals(0, player.status().position(), 128, "play at the end starts from the top");
  }

  static double[] toDb(float[] bands) {
    double[] db = new double[bands.length];
    for (int b = 0; b < bands.length; b++) db[b] = 20 * Math.log10(Math.max(1e-9, bands[b] / 0.3125));
    return db;
  }

  static double correlation(double[] x, double[] y) {
    double mx = Arrays.stream(x).average().orElse(0);
    double my = Arrays.stream(y).average().orElse(0);
    double sxy = 0;
    double sxx = 0;
    double syy = 0;
    for (int i = 0; i < x.length; i++) {
      sxy += (x[i] - mx) * (y[i] - my);
      sxx += (x[i] - mx) * (x[i] - mx);
      syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / Math.sqrt(sxx * syy);
  }
}
