/* quorvant-hidprobe: talks to the pen's receiver through hidapi exactly the
 * way the program does (enumerate, open interface 3 by path, non-blocking,
 * 33-byte writes, 32-byte reads with a timeout). Linked against the system's
 * hidapi, so with libquorvant-hidsim.so preloaded it reaches the simulated
 * receiver instead. */
#include <hidapi/hidapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define VENDOR_ID 0x26E3
#define PRODUCT_ID 0xAF01
#define TRAFFIC_INTERFACE 3
#define OUTPUT_REPORT 33
#define INPUT_REPORT 32
#define MAX_WRITES 16

static const char usage[] = "usage: quorvant-hidprobe list\n"
                            "       quorvant-hidprobe talk [--write HEX]... [--read COUNT] [--timeout MS]\n"
                            "\n"
                            "list   one line per interface of 26e3:af01: PATH VID:PID interface=N\n"
                            "talk   open interface 3, write each HEX report (zero-padded to 33 bytes,\n"
                            "       report number first), then read COUNT reports of up to 32 bytes,\n"
                            "       waiting up to MS each (default 1000). Prints \"wrote N\",\n"
                            "       \"read N HEX\" or \"timeout\".\n"
                            "exit   0 done, 1 bad usage, 2 no receiver, 3 open failed, 4 write failed,\n"
                            "       5 a read timed out, 6 a read failed\n";

static int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* Fills report with the bytes of text, zero-padded; 0 when text is not hex
 * pairs or too long. */
static int parseReport(const char *text, unsigned char report[OUTPUT_REPORT])
{
    size_t length = strlen(text), i;
    memset(report, 0, OUTPUT_REPORT);
    if (length % 2 || length / 2 > OUTPUT_REPORT)
        return 0;
    for (i = 0; i < length; i += 2) {
        int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return 0;
        report[i / 2] = (unsigned char)(high << 4 | low);
    }
    return 1;
}

static int list(void)
{
    struct hid_device_info *devs = hid_enumerate(VENDOR_ID, PRODUCT_ID), *d;
    for (d = devs; d; d = d->next)
        printf("%s %04x:%04x interface=%d\n", d->path, d->vendor_id, d->product_id, d->interface_number);
    hid_free_enumeration(devs);
    return 0;
}

static int talk(int argc, char **argv)
{
    unsigned char reports[MAX_WRITES][OUTPUT_REPORT];
    int writes = 0, reads = 0, timeout = 1000, i, status = 0;
    struct hid_device_info *devs, *d;
    char *path = NULL;
    hid_device *handle;

    for (i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--write") == 0 && i + 1 < argc && writes < MAX_WRITES) {
            if (!parseReport(argv[++i], reports[writes++])) {
                fprintf(stderr, "quorvant-hidprobe: not a report: %s\n", argv[i]);
                return 1;
            }
        } else if (strcmp(argv[i], "--read") == 0 && i + 1 < argc) {
            reads = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            timeout = atoi(argv[++i]);
        } else {
            fputs(usage, stderr);
            return 1;
        }
    }

    devs = hid_enumerate(VENDOR_ID, PRODUCT_ID);
    for (d = devs; d && !path; d = d->next) {
        if (d->interface_number == TRAFFIC_INTERFACE)
            path = strdup(d->path);
    }
    hid_free_enumeration(devs);
    if (!path) {
        printf("no receiver\n");
        return 2;
    }
    handle = hid_open_path(path);
    free(path);
    if (!handle) {
        printf("open failed: %ls\n", hid_error(NULL));
        return 3;
    }
    hid_set_nonblocking(handle, 1);

    for (i = 0; i < writes && !status; ++i) {
        int n = hid_write(handle, reports[i], OUTPUT_REPORT);
        if (n < 0) {
            printf("write failed: %ls\n", hid_error(handle));
            status = 4;
        } else {
            printf("wrote %d\n", n);
        }
    }
    for (i = 0; i < reads && !status; ++i) {
        unsigned char buffer[INPUT_REPORT];
        int n, j;
        memset(buffer, 0, sizeof buffer);
        n = hid_read_timeout(handle, buffer, sizeof buffer, timeout);
        if (n < 0) {
            printf("read failed: %ls\n", hid_error(handle));
            status = 6;
        } else if (n == 0) {
            printf("timeout\n");
            status = 5;
        } else {
            printf("read %d ", n);
            for (j = 0; j < n; ++j)
                printf("%02x", buffer[j]);
            printf("\n");
        }
    }
    hid_close(handle);
    return status;
}

int main(int argc, char **argv)
{
    int status;
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 1 : 0;
    }
    if (hid_init() != 0) {
        fprintf(stderr, "quorvant-hidprobe: hid_init failed\n");
        return 1;
    }
    if (strcmp(argv[1], "list") == 0 && argc == 2)
        status = list();
    else if (strcmp(argv[1], "talk") == 0)
        status = talk(argc - 2, argv + 2);
    else {
        fputs(usage, stderr);
        status = 1;
    }
    fflush(stdout);
    hid_exit();
    return status;
}
