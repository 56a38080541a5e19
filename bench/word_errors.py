# SPDX-License-Identifier: GPL-3.0-or-later
"""Word error counts, for comparing transcripts with their references."""


def edit_distance(reference, hypothesis):
    """Word insertions, deletions and substitutions that turn `reference` into `hypothesis`."""
    row = list(range(len(hypothesis) + 1))
    for i, reference_word in enumerate(reference, 1):
        previous, row[0] = row[0], i
        for j, hypothesis_word in enumerate(hypothesis, 1):
            previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (reference_word != hypothesis_word))
    return row[-1]


def word_error_rate(pairs):
    """Percent of reference words in error over (reference, hypothesis) pairs."""
    errors = sum(edit_distance(reference, hypothesis) for reference, hypothesis in pairs)
    return 100.0 * errors / sum(len(reference) for reference, _ in pairs)
