#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/seed-*.

Inputs that once broke a target are kept beside the seeds as corpus/<target>/crash-*
and are never rewritten here."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC, VERSION = 0x594C5354, 1
TOKEN = 0x1122334455667788


def header(kind, payload, token=TOKEN, sequence=7):
    return struct.pack("<IHHQII", MAGIC, VERSION, kind, token, sequence, len(payload)) + payload


def text(value, width=64):
    return value.encode().ljust(width, b"\0")


def server_info(port=29170, multicast=0, frequency=10_000_000, name="Corvane simulator"):
    return struct.pack("<HBBQ", port, multicast, 0, frequency) + text(name) + text("Corvane") + bytes([3, 1, 0, 0])


def body(body_id, position, orientation=(0, 0, 0, 1), flags=1):
    return struct.pack("<i3f4ffH", body_id, *position, *orientation, 0.0005, flags)


def frame(bodies, number=1, mid=123_456_789, received=123_456_900, transmit=123_457_000, token=TOKEN):
    payload = struct.pack("<IQQQHH", number, mid, received, transmit, len(bodies), 0) + b"".join(bodies)
    return header(9, payload, token)


def datagrams():
    yield "probe", header(1, b"")
    yield "answer", header(2, server_info())
    yield "connect", header(3, bytes([1, 0]))
    yield "connect-answer", header(4, struct.pack("<i", 0) + server_info())
    yield "subscribe", header(5, b"SubscribeByID,RigidBody,3")
    yield "subscribe-all", header(5, b"SubscribeToData,AllTypes,None")
    yield "unsubscribe", header(5, b"UnsubscribeAll")
    yield "response", header(6, struct.pack("<iBB", 0, 1, 0) + struct.pack("<i", 0))
    yield "clock", header(7, struct.pack("<Q", 5_000_000_000))
    yield "clock-answer", header(8, struct.pack("<QQ", 5_000_000_000, 123_456_789))
    yield "frame", frame([body(3, (0, 1.6, 0)), body(4, (0.2, 1.1, -0.3)), body(5, (-0.2, 1.1, -0.3), flags=0)])
    yield "frame-empty", frame([])
    yield "disconnect", header(10, b"")


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def frame_chunk(count, mid_age_us, following_age_us, entries):
    entries = (entries + [bytes(40)] * 3)[:3]
    return struct.pack("<iii", count, mid_age_us, following_age_us) + b"".join(entries)


def record_entry(body_id, position, orientation=(0, 0, 0, 1), flags=1):
    return struct.pack("<i3f4ffHH", body_id, *position, *orientation, 0.0005, flags, 0)


def client_requests():
    import json
    bodies = {
        "hello": {"id": 1, "op": "hello", "applicationType": 4},
        "get-int": {"id": 2, "op": "getInt32", "section": "driver_halvex", "key": "tessalyRigidBodyIdHead"},
        "get-string": {"id": 3, "op": "getString", "section": "driver_halvex", "key": "trackingType",
                       "bufferSize": 512},
        "set-string": {"id": 4, "op": "setString", "section": "driver_halvex", "key": "tessalyServerAddress",
                       "value": "127.0.0.1"},
        "set-float": {"id": 5, "op": "setFloat", "section": "driver_halvex", "key": "debugLevel", "value": 1.5},
        "remove-section": {"id": 6, "op": "removeSection", "section": "driver_halvex"},
        "device-property": {"id": 7, "op": "deviceProperty", "device": 1, "prop": 1000},
        "acknowledge-quit": {"id": 8, "op": "acknowledgeQuit"},
    }
    encoded = {name: json.dumps(body, separators=(",", ":")).encode() for name, body in bodies.items()}

    def framed(body):
        return struct.pack("<I", len(body)) + body

    for name, body in encoded.items():
        yield name, body
    yield "session", b"".join(framed(encoded[n]) for n in ("hello", "get-int", "set-string", "device-property"))
    yield "reply", b'{"id":2,"error":0,"bool":false,"int":3,"float":0.0,"string":"","tag":0,"bytes":"00ff"}'


def hid_reports():
    """Reports in the entry point's framing: a length byte in units of two bytes, then the bytes."""
    def sensor_report(first_ticks, step=10_000, gyro=(0, 0, 0), accel=(0, 9810, 0)):
        out = bytearray(381)
        out[0] = 1
        for t in range(4):
            struct.pack_into("<H", out, 1 + 2 * t, 3100 + t)
        for i in range(4):
            ticks = (first_ticks + i * step) % 2**64
            struct.pack_into("<Q", out, 9 + 8 * i, ticks)
            for axis in range(3):
                for k in range(8):
                    struct.pack_into("<h", out, 41 + 64 * axis + 2 * (8 * i + k), gyro[axis])
            struct.pack_into("<Q", out, 233 + 8 * i, ticks)
            for axis in range(3):
                struct.pack_into("<i", out, 265 + 16 * axis + 4 * i, accel[axis] * (1 if axis == 0 else -1))
            struct.pack_into("<Q", out, 313 + 8 * i, ticks)
        struct.pack_into("<III", out, 369, 1, 0, 0x80)
        return bytes(out)

    def frame(report):
        if len(report) % 2:
            report += b"\0"
        return bytes([len(report) // 2]) + report

    yield "still", b"".join(frame(sensor_report(1_000_000 + 40_000 * k)) for k in range(6))
    yield "turning", b"".join(frame(sensor_report(2_000_000 + 40_000 * k, gyro=(120, -40, 900))) for k in range(4))
    yield "clock-wrap", frame(sensor_report(2**64 - 20_000)) + frame(sensor_report(5))
    yield "other-and-short", frame(bytes([2]) + bytes(63)) + frame(sensor_report(7)[:200])


def oculus_ring_slots():
    """Writes into the mapping: 2-byte offset, 1-byte length, the bytes."""
    def write(offset, data):
        assert len(data) <= 255
        return struct.pack("<HB", offset, len(data)) + data

    def slot(index, orientation=(0.0, 0.0, 0.0, 1.0), rate=(0.0, 0.5, 0.0), timestamp=1_000_000):
        data = struct.pack("<4f3f3f56xq", *orientation, 0, 0, 0, *rate, timestamp)
        return write(72 + 104 * index, data)

    def write_index(value):
        return write(64, struct.pack("<I", value))

    steady = b"".join(slot(i, timestamp=1_000_000 + 10_000 * i) for i in range(24)) + write_index(24)
    yield "steady", steady
    yield "wrap", (write(0, struct.pack("<I", 508)) + write_index(508) +
                   b"".join(slot(i % 512, timestamp=5_000 * i) for i in range(508, 516)) + write_index(4))
    yield "bad-index", slot(0) + write_index(600) + slot(1) + write_index(2)
    yield "unusable", (slot(0, orientation=(float("nan"), 0, 0, 1)) + slot(1, orientation=(0, 0, 0, 0)) +
                       slot(2, rate=(float("inf"), 0, 0)) + slot(3) + write_index(4))
    yield "absurd-times", (slot(0, timestamp=-2**63) + slot(1, timestamp=2**63 - 1) +
                           slot(2, timestamp=0) + write_index(3))


def main():
    for name, data in datagrams():
        write("datagram_parser", name, data)
        # The peers fill in the token (bit 0) and the announced port (bit 1).
        write("client_datagrams", name, bytes([1]) + data)
        write("server_datagrams", name, data)
    write("discovery_replies", "answer", bytes([3]) + header(2, server_info()))
    write("discovery_replies", "answer-multicast", bytes([3]) + header(2, server_info(multicast=1)))
    write("discovery_replies", "answer-wrong-port", bytes([1]) + header(2, server_info(port=1)))
    write("discovery_replies", "other", bytes([3]) + header(4, struct.pack("<i", 0) + server_info()))

    walk = b""
    for i in range(12):
        t = i * 0.004
        head = record_entry(3, (0.1 * math.sin(t), 1.6, 0.05 * t), (0, math.sin(t / 2), 0, math.cos(t / 2)))
        hand = record_entry(4, (0.2, 1.1 + 0.01 * i, -0.3))
        walk += frame_chunk(2, 12_000, 0 if i % 3 else 11_000, [head, hand])
    write("frame_record", "walk", walk)
    write("frame_record", "untracked-and-duplicates",
          frame_chunk(3, 0, 9_000, [record_entry(3, (0, 1.6, 0), flags=0), record_entry(3, (0, 1.7, 0)),
                                    record_entry(4, (0, 0, 0), (0, 0, 0, 0))]))
    write("frame_record", "count-past-record", frame_chunk(0x7FFFFFFF, 12_000, 0, [record_entry(4, (1, 1, 1))]))
    write("frame_record", "future-exposure", frame_chunk(1, -5_000, 0, [record_entry(3, (0, 1.6, 0))]))

    def imu(calibration, samples):
        out = b"".join(struct.pack("<3f", *v) for v in calibration)
        for t, accel, gyro in samples:
            out += struct.pack("<d3d3dI4x", t, *accel, *gyro, 0)
        return out

    unit = [(0, 0, 0), (1, 1, 1), (0, 0, 0), (1, 1, 1)]
    steady = [(i * 0.001, (0.0, 9.81, 0.0), (0.001, -0.002, 0.01)) for i in range(120)]
    write("imu_samples", "steady", imu(unit, steady))
    write("imu_samples", "scaled", imu([(0.01, 0, 0), (2, 0.5, 1), (0, 0.1, 0), (0.5, 0.5, 2)],
                                       [(t, (a[0], a[1] / 0.5, a[2]), (g[0] / 2, g[1] / 0.5, g[2])) for t, a, g in steady]))
    write("imu_samples", "backwards",
          imu(unit, steady[:40] + [(0.01 + i * 0.001, (0.0, 9.81, 0.0), (0, 0, 0)) for i in range(40)]))
    write("imu_samples", "gap", imu(unit, steady[:40] + [(1.0 + i * 0.001, (0.0, 9.81, 0.0), (0, 0, 0)) for i in range(40)]))

    write("replay_lines", "session",
          b"# time,values\nparams,0.1,0.01,1e-8,1e-8\nbias,0,0,0,0,0,0\n" +
          b"".join(b"imu,%.3f,0,9.81,0,0.001,0,0.01\n" % (1 + i * 0.001) for i in range(30)) +
          b"opt,1.0105,0,1.6,0,0,0,0,1,1e-6,0.01,0\nopt,1.0205,0.001,1.6,0,0,0.001,0,1,1e-6,0.01,0\n")
    write("replay_lines", "malformed", b"imu,1.0,0,9.8\nopt,x\n")

    write("vrhost_settings", "driver",
          b'{"driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 4,\n'
          b' "tessalyRigidBodyIdControllerB": 0, "trackingType": "Standard", "tessalyServerAddress": "127.0.0.1",\n'
          b' "tessalyUseMulticast": false, "recordRawData": true, "debugLevel": 1.5},\n'
          b' "TrackingOverrides": {"/devices/halvex/halvex-controller-a": "/devices/htc/vive_controllerLHR-AAAA"},\n'
          b' "steamvr": {"nested": {"a": [1, 2, null]}}}\n')
    write("vrhost_settings", "odd-types",
          b'{"driver_halvex": {"tessalyRigidBodyIdHead": 3000000000, "trackingType": 7, "debugLevel": "2",'
          b' "recordRawData": null, "tessalyServerAddress": "' + b"1" * 300 + b'"}}')

    for target, seeds in (("client_requests", client_requests()), ("hid_reports", hid_reports()),
                          ("oculus_ring_slots", oculus_ring_slots())):
        for name, data in seeds:
            write(target, name, data)


if __name__ == "__main__":
    main()
