[playlist]
n=1
File1=http://short.example/
File2=http://second.example/
