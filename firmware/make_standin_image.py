#!/usr/bin/env python3
"""Writes the stand-in firmware image VR7C-20NP.bin carried by development builds.

The module's real firmware is not part of this project. The stand-in has the size of the real
image (25,236 bytes) and begins like STM32F103 firmware does: a Cortex-M3 vector table with the
initial stack pointer at the top of 20 KiB of SRAM and handlers in flash with the Thumb bit set.
The rest is deterministic filler from a xorshift generator, so that a block written to the wrong
address or in the wrong order shows up when the flash is compared with the image.

Run once; the result is committed: python3 make_standin_image.py VR7C-20NP.bin
"""

import struct
import sys

IMAGE_SIZE = 25236
FLASH_BASE = 0x08000000
INITIAL_STACK_POINTER = 0x20005000
RESET_HANDLER = 0x08000131
DEFAULT_HANDLER = 0x08000185
EXTERNAL_INTERRUPTS = 43  # STM32F103 medium density


def vector_table():
    def handler(offset):
        return FLASH_BASE + offset | 1

    system_vectors = [
        INITIAL_STACK_POINTER,
        RESET_HANDLER,
        handler(0x15C),  # NMI
        handler(0x15E),  # HardFault
        handler(0x160),  # MemManage
        handler(0x162),  # BusFault
        handler(0x164),  # UsageFault
        0, 0, 0, 0,      # reserved
        handler(0x166),  # SVCall
        handler(0x168),  # DebugMonitor
        0,               # reserved
        handler(0x16A),  # PendSV
        handler(0x16C),  # SysTick
    ]
    return system_vectors + [DEFAULT_HANDLER] * EXTERNAL_INTERRUPTS


def filler(count, seed=0x56523743):
    state = seed
    out = bytearray()
    while len(out) < count:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out += struct.pack("<I", state)
    return bytes(out[:count])


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "VR7C-20NP.bin"
    table = b"".join(struct.pack("<I", v) for v in vector_table())
    image = table + filler(IMAGE_SIZE - len(table))
    assert len(image) == IMAGE_SIZE
    with open(path, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main()
