package velmora.chordsmith.player;

import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.EqCurve;
import velmora.chordsmith.VoiceFilter;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.engine.Engine;
import velmora.chordsmith.engine.Mix;

/**
 * The audio thread's work: the only code that sets the engine up, processes blocks or changes an
 * engine setting. The window never waits for it and it never waits for the window: requests
 * arrive through {@link Transport} and an atomic {@link MixSettings}, results leave as an atomic
 * {@link Status} and a peak that the window takes; the only wait is the sound device's, while its
 * buffer is full.
 *
 * <p>A block is one analysis hop of input ({@code frameSize / 16} frames: 2.9 ms at 44.1 kHz) and
 * asks for exactly one output hop back (2 to 12 ms), so every frame read is fresh, a speed change
 * lands on the next block and a setting is at most one block old when the engine reads it.
 *
 * <p>What keeps the sound whole:
 * <ul>
 *   <li>Speed: a change only sets the next block's output hop; the engine is never set up again,
 *       which would drop the audio it holds. The engine restarts its phases at a change, and
 *       {@link OverlapGain} holds the level through the half frame in which old and new frames
 *       overlap. Changes come at most once per frame, so a dragged slider plays its latest
 *       speed rather than a stutter of all the speeds in between.
 *   <li>Loop joins and seeks while playing are crossfades in the input ({@link Feed}).
 *   <li>Pause and play fade the output over 10 ms; the engine keeps what it holds, so play
 *       carries on exactly where pause left off.
 *   <li>A seek while paused primes the engine: it is fed from two frames before the target and
 *       its output is dropped until the target comes out, so play starts on the spot, with no
 *       fade-in from the engine's empty queue and nothing left of the old place.
 *   <li>Mixer settings glide: voice removal by 0.1 and balance by 10 per block, the preamp by
 *       1 dB, so a control moved quickly does not click.
 * </ul>
 */
final class AudioLoop {
  static final double FADE_SECONDS = 0.01;
  private static final double VOICE_STEP = 0.1;
  private static final int BALANCE_STEP = 10;
  private static final double PREAMP_STEP_DB = 1;

  private final Engine engine;
  private final Transport transport;
  private final Sink.Factory sinks;
  final AtomicReference<MixSettings> mix = new AtomicReference<>(MixSettings.DEFAULT);
  /** A recording to load, and its number in the order the window opened them. */
  record Opened(Audio audio, int number) {}

  final AtomicReference<Opened> pendingTrack = new AtomicReference<>();
  final AtomicReference<Status> status = new AtomicReference<>(Status.IDLE);
  /** The loudest block heard since the window last took it, as float bits. */
  final AtomicInteger peakBits = new AtomicInteger();
  /** What the window shows about the sound device, the latency included. */
  final AtomicReference<String> sinkDescription = new AtomicReference<>("");

  // The recording and the set-up for it.
  private Audio track;
  private int trackNumber;
  private int rate;
  private int channels;
  private int frameSize;
  private int stepIn;
  private Feed feed;
  private Timeline timeline;
  private OverlapGain overlap;
  private Sink sink;
  private short[] block;
  private double[] gains;  // the overlap gain of each frame of the block
  private VoiceFilter voiceFilter;

  // The transport as played.
  private int percent;
  private int stepOut;
  private long lastSpeedChange;
  private boolean running;
  private double fade;
  private double fadeTarget;
  private double blockPosition;  // the input position of the block just processed
  private double heardPosition;
  private boolean movedWhilePaused;
  // Seeks by serial: the last one in the output written, the one on its way through the engine
  // (and the engine output frame where it arrives), the last one heard.
  private long seekFed;
  private long seekPending;
  private long seekPendingAt;
  private long seekHeard;

  // The mix as the engine has it.
  private MixSettings applied;
  /** The stereo link changed since the last block: the engine's next block restarts its phases. */
  private boolean linkSwitched;
  private double voiceNow;
  private int balanceNow;
  private double preampDbNow;

  AudioLoop(Engine engine, Transport transport, Sink.Factory sinks) {
    this.engine = engine;
    this.transport = transport;
    this.sinks = sinks;
  }

  /**
   * One turn of the audio thread: takes the requests, and processes and plays one block if the
   * player plays. Returns false when there was nothing to play, so the thread may rest.
   */
  boolean step() {
    Opened next = pendingTrack.getAndSet(null);
    if (next != null) load(next.audio(), next.number());
    if (track == null) return false;

    boolean wanted = transport.playing();
    Transport.Seek seek = transport.takeSeek();
    feed.setLoop(transport.loop(), rate);
    if (!running) {
      if (seek != null) {
        prime(seek.frame());
        seekFed = seekPending = seekHeard = seek.serial();
        heardPosition = seek.frame();
        movedWhilePaused = true;
      }
      applyMix(false);
      if (!wanted) {
        publish(false);
        return false;
      }
      if (heardPosition >= track.frames) {  // play at the end starts again from the top
        prime(0);
        heardPosition = 0;
      }
      running = true;
      movedWhilePaused = false;
    } else if (seek != null) {
      feed.seek(seek.frame());
      // The jump reaches the output once it has come through the engine.
      seekPending = seek.serial();
      seekPendingAt = timeline.engineOutput() + EngineFacts.latency(frameSize, stepIn, stepOut);
    }
    fadeTarget = wanted ? 1 : 0;

    boolean restarted = chooseSpeed();
    applyMix(false);
    float peak = process(restarted);
    if (seekPending > seekFed && timeline.engineOutput() - stepOut >= seekPendingAt) seekFed = seekPending;
    float faded = applyFade(stepOut);
    sink.write(block, stepOut);
    timeline.written(stepOut, blockPosition, timeline.speed(), peak * faded, seekFed);
    publish(true);

    if (fade == 0 && fadeTarget == 0) running = false;  // paused; the engine holds what follows
    if (heardPosition >= track.frames && feed.ended()) {
      transport.stoppedAtEnd();
      running = false;
      fade = 0;
      heardPosition = track.frames;
      movedWhilePaused = true;
      publish(false);
    }
    return true;
  }

  /** Reports what is heard while nothing is written: the device plays out its buffer. */
  void idle() {
    if (track != null) publish(false);
  }

  void close() {
    if (sink != null) sink.close();
  }

  private void load(Audio t, int number) {
    track = t;
    trackNumber = number;
    rate = t.sampleRate;
    channels = t.channels;
    frameSize = Speeds.frameSize(rate);
    stepIn = frameSize / Speeds.OVERSAMPLING;
    setUpEngine();

    percent = transport.speedFor(0);
    stepOut = Speeds.outputHop(stepIn, percent);
    lastSpeedChange = Long.MIN_VALUE / 2;
    // The slowest speed asks for four output hops of one input hop each.
    block = new short[Speeds.outputHop(stepIn, Speeds.MIN_PERCENT) * channels];
    gains = new double[Speeds.outputHop(stepIn, Speeds.MIN_PERCENT)];

    if (sink != null) sink.close();
    sink = sinks.open(rate, channels);
    feed = new Feed(t, (int) Math.round(FADE_SECONDS * rate));
    timeline = new Timeline(frameSize, stepIn);
    timeline.restartEngine(-2L * frameSize);  // where prime(0) starts to feed
    timeline.restartSink();
    overlap = new OverlapGain(frameSize);
    overlap.restart(stepOut);
    running = false;
    fade = 0;
    heardPosition = 0;
    movedWhilePaused = true;
    seekFed = seekPending = seekHeard = transport.lastSeek().serial();
    prime(0);
    describeSink();
  }

  /**
   * Everything the engine is told once per recording, in one place: the set-up (which drops all
   * the engine held), the analyser, the voice filter designed for this rate, and the whole mix.
   * A switch that depends on the recording, such as a stereo-only one, is set here too.
   */
  private void setUpEngine() {
    engine.init(frameSize, Speeds.OVERSAMPLING, rate, channels);
    engine.enableSpectrum(true);
    voiceFilter = VoiceFilter.design(VoiceFilter.DEFAULT_LOW_HZ, VoiceFilter.DEFAULT_HIGH_HZ, rate);
    applyMix(true);
  }

  private void describeSink() {
    long engineDelay = EngineFacts.latency(frameSize, stepIn, stepOut);
    sinkDescription.set(String.format(java.util.Locale.ROOT,
        "%s  ·  control to speaker %.0f ms (buffer %.0f + engine frame %.0f)", sink.describe(),
        1000.0 * (sink.bufferFrames() + engineDelay) / rate, 1000.0 * sink.bufferFrames() / rate,
        1000.0 * engineDelay / rate));
  }

  /**
   * Feeds the engine from well before {@code target} and drops its output until the next block
   * holds the target: the queue then holds only audio from the new place.
   */
  private void prime(long target) {
    // Crossfaded, so that the cut from the old place leaves no transient in the frames.
    feed.seek(target - 2L * frameSize);
    // For the first two frames' worth of hops the output still comes from the old place, whose
    // positions say nothing about the new one. After them every frame that overlaps the output
    // holds new audio only: the frames reach back half a frame in the output, at most 0.75 of a
    // frame in the input at 1.5x, and each spans half a frame around its centre.
    int least = 2 * frameSize / stepIn;
    for (int hop = 0; hop < 1000; hop++) {
      process(false);
      if (hop >= least && blockPosition + 2 * stepOut * timeline.speed() > target) break;
    }
    running = false;
    fade = 0;
  }

  /** Feeds one hop, runs the engine and returns the block's peak. */
  private float process(boolean phasesRestart) {
    double mean = overlap.next(stepOut, phasesRestart || linkSwitched, gains);
    linkSwitched = false;
    engine.setPreamp((float) (Mix.preampGain(preampDbNow) * mean));
    timeline.fed(feed.label());
    feed.read(block, stepIn);
    engine.process(block, stepIn, stepOut);
    blockPosition = timeline.emitted(stepOut);
    float peak = engine.maxLevel();
    // The rest of the gain, frame by frame; in steady play it is 1 and the engine's bits pass.
    boolean steady = true;
    for (int i = 0; i < stepOut && steady; i++) steady = Math.abs(gains[i] - mean) <= 1e-6 * mean;
    if (!steady) {
      for (int i = 0; i < stepOut; i++) {
        double rest = gains[i] / mean;
        for (int c = 0; c < channels; c++) {
          int k = i * channels + c;
          block[k] = (short) Math.max(-32767, Math.min(32767, Math.round(block[k] * rest)));
        }
      }
    }
    return peak;
  }

  /** Takes the speed asked for, at most once per frame; true when the output hop changed. */
  private boolean chooseSpeed() {
    int wanted = transport.speedFor(feed.passes());
    if (wanted == percent || timeline.engineOutput() - lastSpeedChange < frameSize) return false;
    percent = wanted;
    lastSpeedChange = timeline.engineOutput();
    int hop = Speeds.outputHop(stepIn, percent);
    if (hop == stepOut) return false;
    stepOut = hop;
    describeSink();
    return true;
  }

  /** Ramps the block's output toward the fade target; returns the largest gain it applied. */
  private float applyFade(int frames) {
    if (fade == 1 && fadeTarget == 1) return 1;
    double step = 1 / (FADE_SECONDS * rate);
    double most = fade;
    for (int i = 0; i < frames; i++) {
      fade = fadeTarget > fade ? Math.min(fadeTarget, fade + step) : Math.max(fadeTarget, fade - step);
      most = Math.max(most, fade);
      for (int c = 0; c < channels; c++) {
        int k = i * channels + c;
        block[k] = (short) Math.round(block[k] * fade);
      }
    }
    return (float) most;
  }

  /**
   * Brings the engine's mixer toward the listener's settings: at once after a set-up, else
   * gliding. The filter is loaded (and so restarted from silence) only when voice removal comes
   * on, while its amount is still small.
   */
  private void applyMix(boolean now) {
    MixSettings want = mix.get();
    double voiceTarget = want.voiceOn() && channels == 2 ? Math.max(0, want.voiceAmount()) : 0;
    double voice = now ? voiceTarget : approach(voiceNow, voiceTarget, VOICE_STEP);
    if (now || voice != voiceNow) {
      if (voice <= 0) {
        engine.setVoiceRemoval(null, null, 0f);
      } else if (now || voiceNow <= 0) {
        engine.setVoiceRemoval(voiceFilter.a, voiceFilter.b, (float) voice);
      } else {
        engine.setVoiceAmount((float) voice);
      }
      voiceNow = voice;
    }

    int balance = now ? want.balance() : (int) approach(balanceNow, want.balance(), BALANCE_STEP);
    if (now || balance != balanceNow || want.mono() != applied.mono()) {
      engine.setPanning(want.mono() || balance != 0, want.mono(), Mix.panningLevel(balance));
      balanceNow = balance;
    }

    if (now || (want != applied && !java.util.Arrays.equals(want.eqDb(), applied.eqDb()))) {
      EqCurve curve = want.eqCurve();
      engine.setEqualiser(curve == null ? null : curve.binGains(frameSize, rate, frameSize / 2));
    }
    if (now || want.stereoLink() != applied.stereoLink()) {
      engine.setStereoLink(want.stereoLink());
      // The engine restarts both channels' phases at its next block, as at a speed change.
      linkSwitched = !now && channels == 2;
    }
    preampDbNow = now ? want.preampDb() : approach(preampDbNow, want.preampDb(), PREAMP_STEP_DB);
    applied = want;
  }

  private static double approach(double from, double to, double step) {
    return to > from ? Math.min(to, from + step) : Math.max(to, from - step);
  }

  /** Publishes what the listener hears now, and the loudest block that began to sound. */
  private void publish(boolean playing) {
    // After a seek while paused the listener is at the target at once; otherwise at what the
    // device is playing, which runs on through its buffer after a pause.
    if (!movedWhilePaused) {
      Timeline.Heard heard = timeline.heard(sink.played());
      if (heard != null) {
        heardPosition = heard.position();
        seekHeard = Math.max(seekHeard, heard.serial());
        float peak = heard.peak();
        peakBits.getAndUpdate(bits -> Float.intBitsToFloat(bits) >= peak ? bits : Float.floatToIntBits(peak));
      }
    }
    status.set(new Status(heardPosition, percent, stepIn, stepOut, playing && running, feed.passes(),
        seekHeard, trackNumber, System.nanoTime()));
  }
}
