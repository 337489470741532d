#!/usr/bin/perl
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# The part of KDE's extractrc that this project needs: every translatable <string>
# of the given Qt Designer forms as an i18n()/i18nc() call on standard output, for
# xgettext to read (Messages.sh appends it to rc.cpp).
use strict;
use warnings;

sub unxml {
    my ($s) = @_;
    $s =~ s/&lt;/</g;
    $s =~ s/&gt;/>/g;
    $s =~ s/&quot;/"/g;
    $s =~ s/&apos;/'/g;
    $s =~ s/&#(\d+);/chr($1)/ge;
    $s =~ s/&amp;/&/g;
    return $s;
}

sub c_string {
    my ($s) = @_;
    $s =~ s/\\/\\\\/g;
    $s =~ s/"/\\"/g;
    $s =~ s/\n/\\n"\n"/g;
    return "\"$s\"";
}

for my $file (@ARGV) {
    open(my $in, '<:encoding(UTF-8)', $file) or die "$file: $!\n";
    local $/;
    my $text = <$in>;
    close($in);
    binmode(STDOUT, ':encoding(UTF-8)');
    while ($text =~ m{<string((?:\s+\w+="[^"]*")*)\s*>(.*?)</string>}sg) {
        my ($attributes, $value) = ($1, $2);
        next if $attributes =~ /\bnotr="true"/;
        next if $value eq '';
        my $line = 1 + (substr($text, 0, $-[0]) =~ tr/\n//);
        print "// i18n: file: $file:$line\n";
        my ($comment) = $attributes =~ /\bcomment="([^"]*)"/;
        if (defined $comment) {
            print 'i18nc(' . c_string(unxml($comment)) . ', ' . c_string(unxml($value)) . ");\n";
        } else {
            print 'i18n(' . c_string(unxml($value)) . ");\n";
        }
    }
}
