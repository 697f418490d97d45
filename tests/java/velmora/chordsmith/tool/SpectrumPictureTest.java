package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.util.List;
import javax.imageio.ImageIO;
import velmora.chordsmith.EngineFacts;
import org.junit.jupiter.api.Test;

/** The spectrum picture, the strongest-notes sentence and the progress bar. */
class SpectrumPictureTest {
  private static float[] tone(int band, float level) {
    float[] bands = new float[EngineFacts.BANDS];
    bands[band] = level;
    return bands;
  }

  private static int brightness(BufferedImage image, int x, int band) {
    int rgb = image.getRGB(x, SpectrumPicture.rowTop(band) + SpectrumPicture.ROW / 2);
    return (rgb >> 16 & 0xff) + (rgb >> 8 & 0xff) + (rgb & 0xff);
  }

  @Test
  void showsEachReadingAtItsTimeAndPitch() throws Exception {
    // A4 for the first half of ten seconds, C2 for the second.
    List<float[]> columns = List.of(tone(45, 0.3f), tone(45, 0.3f), tone(12, 0.3f), tone(12, 0.3f));
    List<Double> times = List.of(1.0, 4.0, 6.0, 9.0);
    BufferedImage image = SpectrumPicture.render(columns, times, 10, "test");
    int plot = SpectrumPicture.plotWidth(10);
    assertEquals(SpectrumPicture.LEFT + plot + SpectrumPicture.RIGHT, image.getWidth());
    int early = SpectrumPicture.LEFT + plot / 4;
    int late = SpectrumPicture.LEFT + 3 * plot / 4;
    assertTrue(brightness(image, early, 45) > brightness(image, early, 12) + 300);
    assertTrue(brightness(image, late, 12) > brightness(image, late, 45) + 300);
    assertEquals(0, brightness(image, early, 30));

    ByteArrayOutputStream png = new ByteArrayOutputStream();
    assertTrue(ImageIO.write(image, "png", png));
    BufferedImage back = ImageIO.read(new ByteArrayInputStream(png.toByteArray()));
    assertEquals(image.getHeight(), back.getHeight());
    int a4 = SpectrumPicture.rowTop(45);
    assertEquals(image.getRGB(early, a4), back.getRGB(early, a4));
  }

  @Test
  void scalesColoursToTheLoudestReading() {
    // The loudest reading, -20 dB, rounded up to a multiple of 6 dB; silence gets 0 dB.
    assertEquals(-18, SpectrumPicture.topOfScale(List.of(tone(3, 0.3125f / 10), tone(4, 0.001f))), 1e-9);
    assertEquals(0, SpectrumPicture.topOfScale(List.of(new float[EngineFacts.BANDS])), 1e-9);
    assertEquals(0xfff4be, SpectrumPicture.colour(-18, -18));
    assertEquals(0, SpectrumPicture.colour(-78, -18));
  }

  @Test
  void namesTheStrongestNotesAndLeavesOutTheFaintOnes() {
    float[] bands = new float[EngineFacts.BANDS];
    bands[45] = 0.3125f;
    bands[57] = 0.3125f / 4;
    bands[10] = 0.3125f / 1000;
    List<String> notes = SpectrumPicture.strongestNotes(List.of(bands, bands), List.of(0.5, 1.5), 2, 5);
    assertEquals(List.of("A4 (440 Hz) 0 dB", "A5 (880 Hz) -12 dB"), notes);
    // Readings from before the output starts do not count.
    assertEquals(List.of(), SpectrumPicture.strongestNotes(List.of(bands), List.of(-0.1), 2, 5));
  }

  @Test
  void labelsBandsAndTimes() {
    assertEquals("C1", EngineFacts.noteName(0));
    assertEquals("A4", EngineFacts.noteName(45));
    assertEquals("B6", EngineFacts.noteName(71));
    assertEquals(45, EngineFacts.band(440));
    assertEquals("1:05", SpectrumPicture.clock(65));
    assertEquals("0:02.5", SpectrumPicture.clock(2.5));
  }

  @Test
  void theProgressBarFillsInProportion() {
    assertEquals("Go [" + "-".repeat(30) + "]   0%", ProgressBar.render("Go", 0));
    assertTrue(ProgressBar.render("Go", 50).contains("#".repeat(15) + "-".repeat(15) + "]  50%"));
    assertTrue(ProgressBar.render("Go", 100).endsWith("#".repeat(30) + "] 100%"));
  }
}
