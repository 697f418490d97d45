package velmora.chordsmith.player;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import org.junit.jupiter.api.Test;

/** The player's model without a window or an engine: speeds, transport, loop, practice, timing. */
class PlayerModelTest {
  static final int RATE = 44100;

  @Test
  void offersEveryFivePercentFromAQuarterToOneAndAHalfWithExactHops() {
    assertEquals(25, Speeds.clamp(3));
    assertEquals(150, Speeds.clamp(400));
    assertEquals(75, Speeds.clamp(77));
    assertEquals(80, Speeds.step(75, 1));
    assertEquals(150, Speeds.step(145, 3));
    for (int rate : new int[] {44100, 96000}) {
      int frame = Speeds.frameSize(rate);
      int stepIn = frame / Speeds.OVERSAMPLING;
      for (int p = Speeds.MIN_PERCENT; p <= Speeds.MAX_PERCENT; p += Speeds.STEP_PERCENT) {
        int stepOut = Speeds.outputHop(stepIn, p);
        assertEquals(stepOut, EngineFacts.outputHop(stepIn, stepOut, stepIn), "the hop comes back");
        assertEquals(0, stepOut % 4, "the analyser reads whole hops");
        assertTrue(stepOut <= frame / 4, "frames overlap four times even at a quarter speed");
        double twoFrames = 2.0 * stepIn / stepOut / stepOut;
        assertEquals(p / 100.0, (double) stepIn / stepOut, twoFrames, "realised speed at " + p + "%");
      }
    }
  }

  @Test
  void transportKeepsRequestsWithinTheRecordingAndMarksALoopInOrder() {
    Transport t = new Transport();
    t.setLength(10 * RATE, RATE);
    assertEquals(0, t.seek(-5).frame());
    assertEquals(10 * RATE, t.seek(99 * RATE).frame());
    Transport.Seek s = t.seek(RATE);
    assertEquals(s, t.takeSeek());
    assertEquals(null, t.takeSeek(), "a seek is taken once");
    assertEquals(3, t.lastSeek().serial());

    t.togglePlay();
    assertTrue(t.playing());
    t.togglePlay();
    assertFalse(t.playing());
    assertEquals(150, t.setSpeed(170));
    assertEquals(140, t.changeSpeed(-2));

    assertFalse(t.markA(2 * RATE).plays(RATE), "A alone does not loop");
    assertTrue(t.markB(4 * RATE).plays(RATE));
    assertEquals(new Loop(2 * RATE, 4 * RATE), t.loop());
    assertEquals(new Loop(Loop.NONE, RATE), t.markB(RATE), "a B before A drops A");
    assertEquals(new Loop(5 * RATE, Loop.NONE), t.markA(5 * RATE), "an A after B drops B");
    assertEquals(new Loop(3 * RATE, 10 * RATE), t.setLoop(20 * RATE, 3 * RATE), "either order, kept within");
    assertFalse(t.setLoop(RATE, RATE + RATE / 10).plays(RATE), "a tenth of a second is too short");
    t.clearLoop();
    assertEquals(Loop.EMPTY, t.loop());
  }

  @Test
  void practiceModeSpeedsTheLoopUpByAStepPerPassToTheGoal() {
    Practice p = Practice.DEFAULT;
    int[] expected = {70, 75, 80, 85, 90, 95, 100, 100, 100};
    for (int pass = 0; pass < expected.length; pass++) assertEquals(expected[pass], p.percentFor(pass));
    assertEquals(80, new Practice(100, 20, 60).percentFor(1), "a goal below the start slows down");
    assertEquals(60, new Practice(100, 20, 60).percentFor(3));
    assertEquals(new Practice(25, 5, 150), new Practice(3, 7, 999), "offered speeds in whole steps");

    Transport t = new Transport();
    t.setLength(10 * RATE, RATE);
    t.setSpeed(90);
    t.setPractice(p);
    assertEquals(90, t.speedFor(3), "no loop: practice waits");
    t.setLoop(RATE, 3 * RATE);
    assertEquals(85, t.speedFor(3));
    t.setPractice(null);
    assertEquals(90, t.speedFor(3));
  }

  static final int RAMP_RATE = 8000;

  /** A recording whose every sample holds its own frame number, the same on both channels. */
  static Audio ramp(int frames) {
    short[] s = new short[2 * frames];
    for (int i = 0; i < frames; i++) s[2 * i] = s[2 * i + 1] = (short) i;
    return new Audio(s, 2, RAMP_RATE);
  }

  @Test
  void feedLoopsBackToAWithACentredEqualPowerCrossfade() {
    int fade = 100;
    Feed feed = new Feed(ramp(20000), fade);
    feed.setLoop(new Loop(1000, 5000), RAMP_RATE);
    short[] out = new short[2 * 12000];
    feed.read(out, 12000);
    // Half a fade before B, B's material fades out while the material half a fade before A fades
    // in; after it, A + fade / 2 follows on.
    assertEquals(4949, out[2 * 4949]);
    for (int i = 0; i < fade; i++) {
      double angle = (i + 0.5) / fade * Math.PI / 2;
      double expected = Math.cos(angle) * (4950 + i) + Math.sin(angle) * (950 + i);
      assertEquals(expected, out[2 * (4950 + i)], 0.5, "crossfade frame " + i);
    }
    assertEquals(1050, out[2 * 5050]);
    assertEquals(1050, out[2 * 9050], "every pass lasts exactly B - A frames");
    assertEquals(2, feed.passes());
  }

  @Test
  void feedPlaysOnPastALoopItWasMovedBeyondAndReadsSilenceOutsideTheRecording() {
    Feed feed = new Feed(ramp(20000), 100);
    feed.setLoop(new Loop(1000, 5000), RAMP_RATE);
    feed.moveTo(6000);
    short[] out = new short[2 * 200];
    feed.read(out, 200);
    assertEquals(6199, out[2 * 199], "moved past B: no loop");
    assertEquals(0, feed.passes());

    Feed late = new Feed(ramp(20000), 100);
    late.moveTo(7000);
    late.setLoop(new Loop(1000, 5000), RAMP_RATE);
    late.read(out, 200);
    assertEquals(1050 + 99, out[2 * 199], "a loop set behind the feed jumps to A at once");

    Feed edges = new Feed(ramp(300), 100);
    edges.moveTo(-10);
    short[] all = new short[2 * 400];
    edges.read(all, 400);
    assertEquals(0, all[2 * 9]);
    assertEquals(5, all[2 * 15]);
    assertEquals(0, all[2 * 399]);
    assertTrue(edges.ended());
  }

  @Test
  void positionHeardTrailsTheFeedByTheEnginesDelayAtEverySpeed() {
    int frame = 2048;
    int stepIn = frame / Speeds.OVERSAMPLING;
    for (int percent : new int[] {25, 60, 100, 150}) {
      int stepOut = Speeds.outputHop(stepIn, percent);
      Timeline t = new Timeline(frame, stepIn);
      t.restartEngine(0);
      long latency = EngineFacts.latency(frame, stepIn, stepOut);
      for (int hop = 0; hop < 100; hop++) {
        t.fed((long) hop * stepIn);
        double position = t.emitted(stepOut);
        // Output frame o plays input (o - latency) × speed, the engine's delay taken off.
        double expected = ((double) hop * stepOut - latency) * stepIn / stepOut;
        assertEquals(expected, position, 1.0, percent + "% hop " + hop);
      }
    }
  }

  @Test
  void positionHeardFollowsAJumpWhenItComesOutOfTheDeviceAndCarriesItsPeaks() {
    int frame = 2048;
    int stepIn = 128;
    Timeline t = new Timeline(frame, stepIn);
    t.restartEngine(0);
    t.restartSink();
    long label = 0;
    double jumpHeardAt = -1;
    for (int hop = 0; hop < 80; hop++) {
      label = hop == 40 ? 50000 : label + stepIn;  // the feed jumps at hop 40
      t.fed(label);
      double position = t.emitted(stepIn);
      t.written(stepIn, position, t.speed(), hop == 60 ? 0.9f : 0.1f, hop >= 40 ? 1 : 0);
      if (jumpHeardAt < 0 && position >= 50000) jumpHeardAt = t.sinkFrames() - stepIn;
    }
    // At unit speed the jump leaves the engine frameSize - stepIn frames after it went in.
    assertEquals(40 * stepIn + frame - stepIn, jumpHeardAt, stepIn);
    Timeline.Heard before = t.heard((long) jumpHeardAt - 1);
    assertTrue(before.position() < 50000 && before.position() > 40 * stepIn - frame);
    assertEquals(0.1f, before.peak());
    Timeline.Heard after = t.heard((long) jumpHeardAt + 10);
    assertEquals(50010, after.position(), 1.0);
    assertEquals(1, after.serial());
    assertEquals(0.9f, t.heard(61 * stepIn).peak(), "the loud block, once it sounds");
    assertEquals(0f, t.heard(61 * stepIn).peak(), "and only once");
  }

  @Test
  void overlapGainIsOneInSteadyPlayAndMakesUpForTheOldHopAfterAChange() {
    double[] gains = new double[1024];
    OverlapGain g = new OverlapGain(2048);
    g.restart(128);
    for (int i = 0; i < 20; i++) assertEquals(1.0, g.next(128, false, gains), 1e-12);
    // Slowing to half: frames laid at 128 still fill the output twice as densely as the engine
    // assumes for a hop of 256, so the first block needs about half the gain, and a frame later
    // the old frames are gone.
    assertEquals(0.5, g.next(256, true, gains), 0.02);
    double last = 0;
    for (int i = 0; i < 12; i++) last = g.next(256, false, gains);
    assertEquals(1.0, last, 1e-12);
    // A phase restart at an unchanged hop: old and new frames add in power, not in amplitude, so
    // midway the gain is close to the square root of two.
    double most = 0;
    g.next(256, true, gains);
    for (int i = 0; i < 8; i++) most = Math.max(most, g.next(256, false, gains));
    assertEquals(Math.sqrt(2), most, 0.05);
  }
}
