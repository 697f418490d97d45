package velmora.chordsmith.player;

import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.locks.LockSupport;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.engine.Engine;

/**
 * The practice player without its window: a recording, the transport, the mix, and the audio
 * thread that plays them through the engine into a {@link Sink}.
 *
 * <p>Threads. One audio thread (started by {@link #start}) makes every engine call that sets the
 * engine up, processes a block or changes a setting. Any other thread, the window's above all,
 * talks to it only through atomics: it hands over requests ({@link #transport}, {@link #setMix},
 * {@link #open}) and reads reports ({@link #status}, {@link #takePeak}), and it reads the
 * engine's spectrum directly ({@link #spectrum}), which the engine allows from any thread.
 * Nobody takes a lock, so neither side ever waits for the other; the audio thread waits only for
 * the sound device.
 */
public final class Player implements AutoCloseable {
  /** How often the audio thread looks for requests while paused. */
  private static final long IDLE_NANOS = 10_000_000;

  private final Engine engine;
  private final Transport transport = new Transport();
  private final AudioLoop loop;
  private Thread thread;
  private volatile boolean stopping;
  private volatile Audio track;
  private final AtomicInteger opened = new AtomicInteger();

  /** A player on {@code engine} whose audio goes to the sinks {@code sinks} opens. */
  public Player(Engine engine, Sink.Factory sinks) {
    this.engine = engine;
    this.loop = new AudioLoop(engine, transport, sinks);
  }

  public Transport transport() { return transport; }

  /**
   * Plays {@code recording} from the top, paused; the loop is cleared. Returns its number, which
   * {@link Status#track} carries once the audio thread has loaded it.
   */
  public int open(Audio recording) {
    track = recording;
    transport.pause();
    transport.setLength(recording.frames, recording.sampleRate);
    int number = opened.incrementAndGet();
    loop.pendingTrack.set(new AudioLoop.Opened(recording, number));
    wake();
    return number;
  }

  /** The recording last opened, or null. */
  public Audio track() { return track; }

  public void setMix(MixSettings mix) {
    loop.mix.set(mix);
    wake();
  }

  public MixSettings mix() { return loop.mix.get(); }

  /** What the audio thread last reported. */
  public Status status() { return loop.status.get(); }

  /** The loudest peak heard since the last call (linear, 1.0 = full scale; above 1 the limiter acted). */
  public float takePeak() { return Float.intBitsToFloat(loop.peakBits.getAndSet(0)); }

  /** The engine's 72 band levels, C1 to B6, as its analyser last measured them. */
  public void spectrum(float[] bands) { engine.spectrum(bands); }

  /** The sound device, or why there is none, and the latency from a control to the speaker. */
  public String sinkDescription() { return loop.sinkDescription.get(); }

  /**
   * The analyser's readings brought to the output's level (a full-scale sine reads
   * {@link EngineFacts#FULL_SCALE_READING}) for the current set-up and speed.
   */
  public float spectrumScale() {
    Status s = status();
    return EngineFacts.spectrumToOutput(s.stepIn() * Speeds.OVERSAMPLING, s.stepOut());
  }

  /** Tells the audio thread to look at the requests now rather than at its next turn. */
  public void wake() {
    Thread t = thread;
    if (t != null) LockSupport.unpark(t);
  }

  /** Starts the audio thread. */
  public synchronized void start() {
    if (thread != null) return;
    thread = new Thread(this::run, "chordsmith audio");
    thread.setDaemon(true);
    thread.setPriority(Thread.MAX_PRIORITY);
    thread.start();
  }

  private void run() {
    try {
      while (!stopping) {
        if (!loop.step()) {
          loop.idle();
          LockSupport.parkNanos(IDLE_NANOS);
        }
      }
    } catch (RuntimeException | Error e) {
      // Nothing above this thread could handle it; the window shows it where it shows the device.
      loop.sinkDescription.set("Playback stopped: " + e);
      transport.pause();
    } finally {
      loop.close();
    }
  }

  /** Runs one turn of the audio thread on the caller's thread: for tests, with no thread started. */
  boolean stepForTest() { return loop.step(); }

  /**
   * Stops the audio thread, which closes the sound device on its way out; returns at once, so
   * the window can call it.
   */
  @Override
  public void close() {
    stopping = true;
    Thread t = thread;
    if (t == null) {
      loop.close();
    } else {
      LockSupport.unpark(t);
    }
  }
}
