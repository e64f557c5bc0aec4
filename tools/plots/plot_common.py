"""Reading the project's CSV files and the small quaternion algebra the plots need.

Quaternions are numpy arrays of shape (n, 4) ordered w, x, y, z (Hamilton).
"""
import csv
import sys

import numpy as np


class InputError(Exception):
    """A file that cannot be read as expected: names the file, line and reason."""

    def __init__(self, path, line, reason):
        super().__init__(f"{path}:{line}: {reason}" if line else f"{path}: {reason}")


def fail(program, error):
    print(f"{program}: {error}", file=sys.stderr)
    sys.exit(2)


def read_rows(path, expected_header, first_line=1):
    """The data rows of a CSV file whose column line is `expected_header`, as lists of strings.

    `first_line` is the line holding the column names (comment lines come before it).
    """
    try:
        with open(path, newline="", encoding="utf-8") as handle:
            lines = handle.read().split("\n")
    except OSError as error:
        raise InputError(path, 0, error.strerror or str(error))
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) < first_line:
        raise InputError(path, len(lines) + 1, "file ends before the column line")
    if lines[first_line - 1].strip() != expected_header:
        raise InputError(path, first_line, "unexpected column line")
    rows = []
    for number, fields in enumerate(csv.reader(lines[first_line:]), start=first_line + 1):
        rows.append((number, [f.strip() for f in fields]))
    return rows


def number(path, line, text):
    try:
        return float(text)
    except ValueError:
        raise InputError(path, line, f"'{text}' is not a number")


def quat_multiply(a, b):
    aw, ax, ay, az = a[..., 0], a[..., 1], a[..., 2], a[..., 3]
    bw, bx, by, bz = b[..., 0], b[..., 1], b[..., 2], b[..., 3]
    return np.stack([aw * bw - ax * bx - ay * by - az * bz,
                     aw * bx + ax * bw + ay * bz - az * by,
                     aw * by - ax * bz + ay * bw + az * bx,
                     aw * bz + ax * by - ay * bx + az * bw], axis=-1)


def quat_rotate(q, v):
    """Rotates the vectors v (n, 3) by the unit quaternions q (n, 4)."""
    qv = np.concatenate([np.zeros(v.shape[:-1] + (1,)), v], axis=-1)
    conjugate = q * np.array([1.0, -1.0, -1.0, -1.0])
    return quat_multiply(quat_multiply(q, qv), conjugate)[..., 1:]


def quat_from_matrix(m):
    """Unit quaternion of a 3x3 rotation matrix."""
    trace = m[0, 0] + m[1, 1] + m[2, 2]
    if trace > 0:
        s = 2.0 * np.sqrt(1.0 + trace)
        q = [0.25 * s, (m[2, 1] - m[1, 2]) / s, (m[0, 2] - m[2, 0]) / s, (m[1, 0] - m[0, 1]) / s]
    else:
        i = int(np.argmax([m[0, 0], m[1, 1], m[2, 2]]))
        j, k = (i + 1) % 3, (i + 2) % 3
        s = 2.0 * np.sqrt(1.0 + m[i, i] - m[j, j] - m[k, k])
        q = [0.0, 0.0, 0.0, 0.0]
        q[0] = (m[k, j] - m[j, k]) / s
        q[1 + i] = 0.25 * s
        q[1 + j] = (m[j, i] + m[i, j]) / s
        q[1 + k] = (m[k, i] + m[i, k]) / s
    q = np.array(q)
    return q / np.linalg.norm(q)


def yaw_pitch_roll_degrees(q):
    """Yaw about the vertical y axis, pitch about x, roll about z (y-x-z order), unwrapped."""
    w, x, y, z = q[..., 0], q[..., 1], q[..., 2], q[..., 3]
    yaw = np.arctan2(2.0 * (w * y + x * z), 1.0 - 2.0 * (x * x + y * y))
    pitch = np.arcsin(np.clip(2.0 * (w * x - y * z), -1.0, 1.0))
    roll = np.arctan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (x * x + z * z))
    return np.degrees(np.unwrap(yaw)), np.degrees(pitch), np.degrees(np.unwrap(roll))
