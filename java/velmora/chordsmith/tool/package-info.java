/**
 * The command-line tool: {@link velmora.chordsmith.tool.Main} and its
 * {@link velmora.chordsmith.tool.Options} (parsing, range checks, notes and advice that name
 * options), the progress bar and the spectrum picture. The jar's entry point.
 */
package velmora.chordsmith.tool;
