package velmora.chordsmith.tool;

import java.util.ArrayList;
import java.util.List;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.engine.StretchJob;

/**
 * Collects the spectrum readings of a stretch for the picture and the strongest notes, in the
 * same memory at any length. The picture needs a reading near every pixel column's time, and it
 * has at most {@link SpectrumPicture#MAX_WIDTH} columns: so readings are kept until there are
 * twice that many, then every second one is dropped and from there on only every second one is
 * kept, and so on, leaving readings evenly spread over the whole output, never fewer than the
 * picture's columns. The loudest reading and each band's mean level take every reading into
 * account.
 */
final class SpectrumRecorder implements StretchJob.Readings {
  static final int KEPT = 2 * SpectrumPicture.MAX_WIDTH;

  private final List<float[]> columns = new ArrayList<>();
  private final List<Double> times = new ArrayList<>();
  /** Only every stride-th reading is kept. */
  private long stride = 1;
  private long seen;
  private float loudest;
  /** Sums of each band over the readings that describe the output. */
  private final double[] sums = new double[EngineFacts.BANDS];
  private int summed;

  @Override
  public void reading(float[] bands, double seconds, double outputSeconds) {
    for (float v : bands) loudest = Math.max(loudest, v);
    if (seconds >= 0 && seconds <= outputSeconds) {
      for (int b = 0; b < EngineFacts.BANDS; b++) sums[b] += bands[b];
      summed++;
    }
    if (seen++ % stride != 0) return;
    columns.add(bands.clone());
    times.add(seconds);
    if (columns.size() == KEPT) {
      for (int i = 0; i < KEPT / 2; i++) {
        columns.set(i, columns.get(2 * i));
        times.set(i, times.get(2 * i));
      }
      columns.subList(KEPT / 2, KEPT).clear();
      times.subList(KEPT / 2, KEPT).clear();
      stride *= 2;
    }
  }

  List<float[]> columns() { return columns; }

  List<Double> times() { return times; }

  /** The loudest reading of all. */
  float loudest() { return loudest; }

  /** Each band's sum over the readings that describe the output (time 0 to its end). */
  double[] sums() { return sums.clone(); }

  /** How many readings {@link #sums} adds up. */
  int summed() { return summed; }
}
