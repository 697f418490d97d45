package velmora.chordsmith.audio;

import java.io.IOException;
import java.nio.file.AccessDeniedException;
import java.nio.file.FileSystemException;
import java.nio.file.NoSuchFileException;

/**
 * A file that cannot be read or written. The message names the file and says what is wrong in
 * words a person can act on, to be shown as it stands.
 */
public final class FileException extends Exception {
  private static final long serialVersionUID = 1L;

  public FileException(String message) { super(message); }

  /**
   * The system's reason for a failed file operation, in a few words. File-system exceptions
   * carry the file they failed on as their message, which may be a hidden temporary file the
   * person never named: their reason is given instead, or what their kind means.
   */
  public static String reason(IOException e) {
    if (e instanceof AccessDeniedException) return "permission denied";
    if (e instanceof NoSuchFileException) return "the file or its folder has gone";
    if (e instanceof FileSystemException f) {
      String r = f.getReason();
      return r != null && !r.isEmpty() ? r : "the file system refused (" + e.getClass().getSimpleName() + ")";
    }
    String m = e.getMessage();
    return m == null || m.isEmpty() ? e.getClass().getSimpleName() : m;
  }
}
