[playlist]
NumberOfEntries=1
File1=http://x.example/ends-without-line-break