/* The simulated host's image: contiguous sections at fixed addresses, so that the
 * host's code, read-only data and writable data lie where the real build has them. */
SECTIONS
{
  .text 0x401000 : {
    *(.hosttext)
    *(.text) *(SORT(.text$*)) *(.text.*)
    . = 0x42F000;                       /* up to 0x830000 */
  } =0xCCCCCCCC
  .rdata 0x830000 : {
    *(.hostrdata)
    *(.rdata) *(SORT(.rdata$*))
    . = 0x240000;                       /* up to 0xA70000 */
  }
  .data 0xA70000 : {
    *(.hostdata)
    *(.data) *(SORT(.data$*))
    . = 0x20000;                        /* up to 0xA90000 */
  }
  .idata 0xA90000 : {
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  .bss ALIGN(0x1000) : { *(.bss) *(COMMON) }
  /DISCARD/ : { *(.debug*) *(.drectve) *(.note.GNU-stack) *(.eh_frame*) *(.gnu.lto_*) }
}
